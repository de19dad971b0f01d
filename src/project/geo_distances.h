#pragma once

// Kernels of the distances between samples placed by two coordinates: on
// the globe (latitude and longitude in degrees) or on a plane grid. The
// sample set's members (Samples::calc_geo_dist, calc_geo_dist_on_grid) apply
// them to every pair of samples.

namespace quintle::geo {

// Radius of the Earth in kilometres.
inline constexpr double earth_radius_km = 6371.03;
// Pi to six decimals: the degrees are converted, and obtuse angles
// corrected, with this value, as the distances recorded with the program
// always were (it costs about 2e-7 of relative precision).
inline constexpr double pi = 3.141592;

// Degrees to radians with the six-decimal pi.
double radians(double degrees);

// The angle (radians) between two vectors whose cosine is c: c is first
// brought into [-1, 1] (rounding may put it just outside, where the angle
// is not a number), a c of exactly 0 counts as 1e-100, and an obtuse angle
// is pi minus the acute one.
double angle_of_cosine(double c);

// Great-circle distance in kilometres between two points given by latitude
// and longitude in degrees; 0 for equal coordinates.
double globe_distance(double lat1, double lon1, double lat2, double lon2);

// City-block distance |dx| + |dy|; 0 when both differences are below 1e-7.
double grid_distance(double x1, double y1, double x2, double y2);

}  // namespace quintle::geo
