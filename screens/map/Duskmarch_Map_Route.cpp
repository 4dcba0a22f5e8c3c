#include <cmath>

#include "model/world/World_Tables.h"
#include "screens/map/Duskmarch_Map.h"

TVisualArmyPath ArmyPath;

void ComputeRoutePoints(const std::vector<TVec2>& waypoints, std::vector<TVisualPathPoint>& points)
{
    points.clear();
    if (waypoints.size() < 2)
        return;
    std::vector<double> lengths;
    double total = 0;
    for (size_t k = 1; k < waypoints.size(); ++k) {
        const double dx = waypoints[k].x - waypoints[k - 1].x, dz = waypoints[k].y - waypoints[k - 1].y;
        lengths.push_back(std::sqrt(dx * dx + dz * dz));
        total += lengths.back();
    }
    const long count = std::lround(total / 2.5);
    if (count <= 0)
        return;
    const double spacing = total / static_cast<double>(count);
    size_t segment = 0;
    double before = 0;
    for (long i = 0; i < count; ++i) {
        const double at = spacing / 2 + spacing * static_cast<double>(i);
        while (segment + 1 < lengths.size() && before + lengths[segment] < at) {
            before += lengths[segment];
            ++segment;
        }
        const double t = lengths[segment] > 0 ? (at - before) / lengths[segment] : 0;
        const TVec2& a = waypoints[segment];
        const TVec2& b = waypoints[segment + 1];
        points.push_back({static_cast<float>(a.x + (b.x - a.x) * t), static_cast<float>(a.y + (b.y - a.y) * t), 1, 0});
    }
    // Each point faces the next one (the last the route's end); a zero
    // length keeps the previous direction.
    float cosine = 1, sine = 0;
    for (size_t k = 0; k < points.size(); ++k) {
        const float nx = k + 1 < points.size() ? points[k + 1].X : waypoints.back().x;
        const float nz = k + 1 < points.size() ? points[k + 1].Z : waypoints.back().y;
        const float dx = nx - points[k].X, dz = nz - points[k].Z;
        const float length = std::sqrt(dx * dx + dz * dz);
        if (length > 0) {
            cosine = dx / length;
            sine = dz / length;
        }
        points[k].Cos = cosine;
        points[k].Sin = sine;
    }
}

void VisualArmyPath_Init()
{
    ArmyPath = TVisualArmyPath{};
}

void VisualArmyPath_Show(int32_t army)
{
    if (army < 0 || static_cast<size_t>(army) >= ArmyTrackers.size())
        return;
    const TPF_Tracker& tracker = ArmyTrackers[static_cast<size_t>(army)];
    std::vector<TVec2> waypoints;
    const TGameArmy& a = GameArmies[static_cast<size_t>(army)];
    waypoints.push_back({a.Pos[0], a.Pos[2]});
    for (int32_t k = std::max(1, tracker.WaypointIndex);
         k <= tracker.WaypointCount && static_cast<size_t>(k) < tracker.Waypoints.size(); ++k)
        waypoints.push_back({static_cast<float>(tracker.Waypoints[static_cast<size_t>(k)].X),
                             static_cast<float>(tracker.Waypoints[static_cast<size_t>(k)].Y)});
    ComputeRoutePoints(waypoints, ArmyPath.Points);
    ArmyPath.Progress = 0;
}

void VisualArmyPath_UpdateProgress(int32_t army)
{
    if (ArmyPath.Points.empty() || army < 0 || static_cast<size_t>(army) >= GameArmies.size())
        return;
    const TGameArmy& a = GameArmies[static_cast<size_t>(army)];
    int32_t best = ArmyPath.Progress;
    float bestDistance = 1e30f;
    const int32_t last = static_cast<int32_t>(ArmyPath.Points.size()) - 1;
    for (int32_t k = ArmyPath.Progress; k <= std::min(last, ArmyPath.Progress + 3); ++k) {
        const float dx = ArmyPath.Points[static_cast<size_t>(k)].X - a.Pos[0];
        const float dz = ArmyPath.Points[static_cast<size_t>(k)].Z - a.Pos[2];
        if (dx * dx + dz * dz < bestDistance) {
            bestDistance = dx * dx + dz * dz;
            best = k;
        }
    }
    ArmyPath.Progress = best;
    if (best == last)
        ArmyPath.Points.clear();
}

void VisualArmyPath_Hide()
{
    ArmyPath.Points.clear();
}
