// Distances between samples placed by two coordinates each: on the globe
// (CoordY latitude, CoordX longitude, in degrees) or on a plane grid, kept in
// the sample set's GeoDistances and written to "dgeo.txt".

#include "project/geo_distances.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <ostream>

#include "core/Errors.h"
#include "project/Samples.h"

namespace quintle {

namespace geo {

namespace {

constexpr double kGridTolerance = 1e-7;

struct Vec3 {
    double x, y, z;
};

// Point of the sphere of the Earth's radius at latitude `lat` and
// longitude `lon` (radians).
Vec3 position(double lat, double lon) {
    return {earth_radius_km * std::cos(lat) * std::cos(lon), earth_radius_km * std::cos(lat) * std::sin(lon),
            earth_radius_km * std::sin(lat)};
}

double dot(Vec3 const& a, Vec3 const& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

double radians(double degrees) { return degrees * pi / 180.0; }

double angle_of_cosine(double c) {
    c = std::clamp(c, -1.0, 1.0);
    if (c == 0.0) c = 1e-100;
    double const acute = std::atan(std::sqrt(1.0 / (c * c) - 1.0));
    return c < 0.0 ? pi - acute : acute;
}

double globe_distance(double lat1, double lon1, double lat2, double lon2) {
    double const phi1 = radians(lat1), lambda1 = radians(lon1);
    double const phi2 = radians(lat2), lambda2 = radians(lon2);
    if (phi1 == phi2 && lambda1 == lambda2) return 0.0;
    Vec3 const a = position(phi1, lambda1);
    Vec3 const b = position(phi2, lambda2);
    double const c = dot(a, b) / (std::sqrt(dot(a, a)) * std::sqrt(dot(b, b)));
    return angle_of_cosine(c) * earth_radius_km;
}

double grid_distance(double x1, double y1, double x2, double y2) {
    double const dx = std::fabs(x1 - x2);
    double const dy = std::fabs(y1 - y2);
    return dx < kGridTolerance && dy < kGridTolerance ? 0.0 : dx + dy;
}

}  // namespace geo

namespace {

constexpr double kVerticalSlope = 1e10;
constexpr double kParallelTolerance = 1e-7;

}  // namespace

double Samples::normalize_data(double value, double min, double max) {
    // Over a zero range every value is the minimum: 0, not 0 / 0.
    if (max == min) return 0.0;
    return (value - min) / (max - min);
}

void Samples::normalize_coord() {
    long const n = Populations.count;
    if (n == 0) return;
    // The ranges always include 0.
    double minX = 0.0, maxX = 0.0, minY = 0.0, maxY = 0.0;
    for (long i = 0; i < n; ++i) {
        Population const* p = Populations.data[i];
        if (p == nullptr) continue;
        minX = std::min(minX, p->CoordX);
        maxX = std::max(maxX, p->CoordX);
        minY = std::min(minY, p->CoordY);
        maxY = std::max(maxY, p->CoordY);
    }
    for (long i = 0; i < n; ++i) {
        Population* p = Populations.data[i];
        if (p == nullptr) continue;
        p->CoordX = normalize_data(p->CoordX, minX, maxX);
        p->CoordY = normalize_data(p->CoordY, minY, maxY);
        *_AOS_ << p->name << " " << p->CoordY << " " << p->CoordX << "\n";
    }
}

void Samples::calc_geo_dist() {
    int const n = static_cast<int>(Populations.count);
    GeoDistances.initializeMatrixAndArrays(n);
    for (int i = 0; i < n; ++i) {
        Population const* a = Populations.data[i];
        for (int j = 0; j <= i; ++j) {
            Population const* b = Populations.data[j];
            if (a == nullptr || b == nullptr) continue;
            GeoDistances(i, j) = geo::globe_distance(a->CoordY, a->CoordX, b->CoordY, b->CoordX);
        }
    }
    write_geo_distances();
}

void Samples::calc_geo_dist_on_grid() {
    int const n = static_cast<int>(Populations.count);
    GeoDistances.initializeMatrixAndArrays(n);
    for (int i = 0; i < n; ++i) {
        Population const* a = Populations.data[i];
        for (int j = 0; j <= i; ++j) {
            Population const* b = Populations.data[j];
            if (a == nullptr || b == nullptr) continue;
            GeoDistances(i, j) = geo::grid_distance(a->CoordX, a->CoordY, b->CoordX, b->CoordY);
        }
    }
    write_geo_distances();
}

void Samples::write_geo_distances() const {
    std::ofstream out("dgeo.txt", std::ios::out | std::ios::trunc);
    out << "Geographic distances\n";
    for (int i = 1; i < GeoDistances.MatrixSize; ++i)
        for (int j = 0; j < i; ++j) out << GeoDistances(i, j) << "\n";
}

int Samples::intersect(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4) {
    bool const vertical1 = x1 == x2;
    bool const vertical2 = x3 == x4;
    double const m1 = vertical1 ? kVerticalSlope : (y1 - y2) / (x1 - x2);
    double const m2 = vertical2 ? kVerticalSlope : (y3 - y4) / (x3 - x4);
    if (std::fabs(m1 - m2) < kParallelTolerance) return 0;
    double const b1 = y1 - m1 * x1;
    double const b2 = y3 - m2 * x3;
    double x, y;
    if (vertical1) {
        x = x1;
        y = m2 * x1 + b2;
    } else if (vertical2) {
        x = x3;
        y = m1 * x3 + b1;
    } else {
        x = (b2 - b1) / (m1 - m2);
        y = m1 * x + b1;
    }
    // A comparison with a value that is not a number fails: outside.
    bool const inX = std::min(x3, x4) <= x && x <= std::max(x3, x4);
    bool const inY = std::min(y3, y4) <= y && y <= std::max(y3, y4);
    return inX && inY ? 1 : 0;
}

}  // namespace quintle
