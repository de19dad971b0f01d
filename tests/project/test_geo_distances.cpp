// Geographic distances between samples: the kernels against an independent
// calculation, the sample set's matrix and its "dgeo.txt", the scaling of
// the coordinates and the crossing test.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "project/geo_distances.h"
#include "project/project_test_support.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

// Reference distances: great-circle (haversine) distances on a sphere of
// radius 6371.03 km with full-precision pi, from mpmath 1.2.1 (Debian
// python3-mpmath) at 40 digits:
//   a = sin((p2-p1)/2)^2 + cos(p1) cos(p2) sin((l2-l1)/2)^2,  d = 2 R asin(sqrt(a)).
struct GlobeCase {
    double lat1, lon1, lat2, lon2, km;
};

TEST(GeoKernels, GreatCircleDistancesAgreeWithHaversine) {
    GlobeCase const far[] = {
        {46.2044, 6.1432, 48.8566, 2.3522, 409.75843450064206},        // Geneva - Paris
        {-33.8688, 151.2093, 51.5074, -0.1278, 16994.013481457149},    // Sydney - London (obtuse)
        {64.1466, -21.9426, -54.8019, -68.303, 13809.1593662507},      // Reykjavik - Ushuaia
        {0.0, 0.0, 0.0, 180.0, 20015.18104380018},                     // antipodes
    };
    for (GlobeCase const& c : far) {
        SCOPED_TRACE(c.km);
        double const d = geo::globe_distance(c.lat1, c.lon1, c.lat2, c.lon2);
        // The six-decimal pi costs about 2e-7 of the value.
        EXPECT_NEAR(d / c.km, 1.0, 1e-6);
        EXPECT_EQ(geo::globe_distance(c.lat2, c.lon2, c.lat1, c.lon1), d);
    }
    GlobeCase const near[] = {
        {46.2044, 6.1432, 46.2050, 6.1440, 0.090782579091742128},    // about 91 m
        {46.2044, 6.1432, 46.20440001, 6.1432, 1.1119545024333434e-6},  // about 1 mm
    };
    for (GlobeCase const& c : near) {
        SCOPED_TRACE(c.km);
        EXPECT_NEAR(geo::globe_distance(c.lat1, c.lon1, c.lat2, c.lon2), c.km, 1e-3);
    }
    EXPECT_EQ(geo::globe_distance(12.5, -3.25, 12.5, -3.25), 0.0);
}

// Right angles: a cosine of exactly 0 counts as 1e-100 and gives
// 6371.03 x pi/2 = 10007.590521900 km (pi/2 at full precision, through
// atan). From degrees, (0, 0) and (0, 90) leave a cosine of about 3.3e-7
// (90 degrees with the six-decimal pi fall short of pi/2 by 3.3e-7 rad),
// and the distance is 10007.5884 km.
TEST(GeoKernels, RightAnglesAndCosinesOutsideTheirRange) {
    EXPECT_NEAR(geo::angle_of_cosine(0.0) * geo::earth_radius_km, 10007.5905219, 1e-6);
    EXPECT_NEAR(geo::globe_distance(0.0, 0.0, 0.0, 90.0), 10007.5884, 1e-4);
    EXPECT_NEAR(geo::angle_of_cosine(-0.5), geo::pi - std::atan(std::sqrt(3.0)), 1e-15);  // 120 degrees

    // Rounding puts the cosine of these nearly equal points at
    // 1.0000000000000002 (worked out in double precision with the same
    // steps); unclamped, the angle was not a number.
    EXPECT_EQ(geo::angle_of_cosine(1.0000000000000002), 0.0);
    EXPECT_NEAR(geo::angle_of_cosine(-1.0000000000000002), geo::pi, 1e-15);
    for (auto const& [lat, lon] : {std::pair{45.0, 45.0}, std::pair{46.2044, 6.1432}}) {
        double const d = geo::globe_distance(lat, lon, lat + 1e-12, lon);
        EXPECT_TRUE(std::isfinite(d));
        EXPECT_LT(d, 1e-3);
        double const e = geo::globe_distance(lat, lon, lat, lon + 1e-12);
        EXPECT_TRUE(std::isfinite(e));
        EXPECT_LT(e, 1e-3);
    }
}

class GeoSamples : public test::ProjectDirTest {
protected:
    void SetUp() override { fs::current_path(dir); }
    void TearDown() override { fs::current_path(before_); }

    // Appends a sample at (x, y).
    void add(char const* name, double x, double y) {
        auto* p = new Population(my_string(name));
        p->CoordX = x;
        p->CoordY = y;
        set.Populations.Add(p);
    }

    Samples set;

private:
    fs::path const before_ = fs::current_path();
};

TEST_F(GeoSamples, GridDistancesAndTheirFile) {
    add("a", 0.0, 0.0);
    add("b", 3.0, 4.0);
    add("c", 3.0, 4.0);
    set.calc_geo_dist_on_grid();
    // |3| + |4| = 7 twice, then two samples at the same place.
    EXPECT_EQ(test::slurp(dir / "dgeo.txt"), "Geographic distances\n7\n7\n0\n");
    EXPECT_EQ(set.GeoDistances.MatrixSize, 3);
    EXPECT_EQ(set.GeoDistances(0, 1), 7.0);
    EXPECT_EQ(set.GeoDistances(1, 1), 0.0);
    // Below the tolerance in both directions: 0.
    EXPECT_EQ(geo::grid_distance(1.0, 1.0, 1.0 + 5e-8, 1.0 - 5e-8), 0.0);
    EXPECT_NEAR(geo::grid_distance(1.0, 1.0, 1.0 + 5e-8, 1.0 + 2e-7), 2.5e-7, 1e-15);
}

TEST_F(GeoSamples, GlobeDistancesAndTheirFile) {
    // CoordX is the longitude, CoordY the latitude.
    add("geneva", 6.1432, 46.2044);
    add("paris", 2.3522, 48.8566);
    add("equator", 90.0, 0.0);
    set.calc_geo_dist();
    EXPECT_NEAR(set.GeoDistances(1, 0), 409.75843450064206, 409.76 * 1e-6);
    EXPECT_EQ(set.GeoDistances(0, 1), set.GeoDistances(1, 0));
    EXPECT_EQ(set.GeoDistances(2, 2), 0.0);
    // Default stream formatting: six significant digits, in the order
    // (1,0), (2,0), (2,1).
    std::string const text = test::slurp(dir / "dgeo.txt");
    EXPECT_EQ(text.substr(0, text.find('\n', 21) + 1), "Geographic distances\n409.758\n");
    EXPECT_EQ(test::occurrences(text, "\n"), 4);

    Samples empty;
    empty.calc_geo_dist();
    EXPECT_EQ(test::slurp(dir / "dgeo.txt"), "Geographic distances\n");
}

TEST_F(GeoSamples, CoordinatesScaledOverRangesHoldingZero) {
    add("a", 5.0, 0.0);
    add("b", 5.0, 0.0);
    set.normalize_coord();
    // The range of x is [0, 5]: both become 1. Every y is 0: the range is
    // empty, and 0 / 0 is mended to 0.
    for (long i = 0; i < 2; ++i) {
        EXPECT_EQ(set.Populations[i]->CoordX, 1.0);
        EXPECT_EQ(set.Populations[i]->CoordY, 0.0);
    }
    EXPECT_NE(log().find("a 0 1\nb 0 1\n"), std::string::npos) << log();

    Samples mixed;
    auto* p = new Population(my_string("p"));
    p->CoordX = -2.0;
    p->CoordY = 8.0;
    mixed.Populations.Add(p);
    auto* q = new Population(my_string("q"));
    q->CoordX = 6.0;
    q->CoordY = 2.0;
    mixed.Populations.Add(q);
    mixed.normalize_coord();
    // x over [-2, 6], y over [0, 8].
    EXPECT_EQ(p->CoordX, 0.0);
    EXPECT_EQ(q->CoordX, 1.0);
    EXPECT_EQ(p->CoordY, 1.0);
    EXPECT_EQ(q->CoordY, 0.25);
    EXPECT_EQ(mixed.normalize_data(3.0, 3.0, 3.0), 0.0);
}

TEST_F(GeoSamples, CrossingInsideTheSecondBox) {
    struct Case {
        char const* what;
        double x1, y1, x2, y2, x3, y3, x4, y4;
        int expected;
    };
    Case const cases[] = {
        {"two vertical lines", 1, 0, 1, 5, 2, 0, 2, 5, 0},
        {"equal slopes", 0, 0, 1, 1, 0, 1, 2, 3, 0},
        // y = x meets x = 5 at (5, 5): outside the first pair's box, inside
        // the second's.
        {"crossing beyond the first segment", 0, 0, 1, 1, 5, 0, 5, 10, 1},
        // y = x meets y = -x + 4 at (2, 2), outside the box from (3, 1) to (4, 0).
        {"crossing outside the second box", 0, 0, 1, 1, 3, 1, 4, 0, 0},
        // The first line vertical: x = 2 meets y = 0.5 x + 1 at (2, 2).
        {"first line vertical", 2, 0, 2, 1, 0, 1, 4, 3, 1},
        // A corner of the box counts as inside.
        {"on the box's corner", 0, 0, 1, 1, 2, 2, 4, 0, 1},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(set.intersect(c.x1, c.y1, c.x2, c.y2, c.x3, c.y3, c.x4, c.y4), c.expected);
    }
}

}  // namespace
}  // namespace quintle
