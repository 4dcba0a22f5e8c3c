#include <algorithm>
#include <cmath>

#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"
#include "scenes/Landscape_Camera.h"
#include "screens/map/Duskmarch_Map.h"

float CameraHeightOffset = 0;
uint8_t Rotating = 0;
uint8_t Zooming = 0;
float ZoomTarget = 0, ZoomStart = 0;
int32_t ZoomStartTime = 0, ZoomEndTime = 0;
uint8_t CameraClamped = 0;

namespace {

constexpr float Pi = 3.14159265358979f;
constexpr float NearDistance = 70, FarDistance = 130;
int32_t AnchorX = 0, AnchorY = 0;
float AnchorYaw = 0, AnchorPitch = 0;

} // namespace

void MapResetCameraMotion()
{
    Zooming = 0;
    ZoomTarget = ZoomStart = 0;
    ZoomStartTime = ZoomEndTime = 0;
    HoveredPickId = 0;
}

void ClampMapCamera()
{
    const float distance = std::clamp(MapCamera.Distance, NearDistance, FarDistance);
    if (distance != MapCamera.Distance) {
        MapCamera.Distance = distance;
        Zooming = 0;
    }
    MapCamera.Pitch = std::clamp(MapCamera.Pitch, Pi / 6, 7 * Pi / 18);
    const float low = 32.0f - static_cast<float>(MapInit.MapSizeMinus1), high = -32.0f;
    const float x = std::clamp(MapCamera.ViewOffset.x, low, high);
    const float z = std::clamp(MapCamera.ViewOffset.z, low, high);
    CameraClamped = x != MapCamera.ViewOffset.x || z != MapCamera.ViewOffset.z;
    MapCamera.ViewOffset.x = x;
    MapCamera.ViewOffset.z = z;
    MapCamera.Target = {-MapCamera.ViewOffset.x, -MapCamera.ViewOffset.y, -MapCamera.ViewOffset.z};
}

void UpdateMapCameraZoom(int32_t now)
{
    if (Zooming == 0)
        return;
    if (now >= ZoomEndTime) {
        MapCamera.Distance = ZoomTarget;
        Zooming = 0;
    } else if (ZoomEndTime > ZoomStartTime) {
        MapCamera.Distance = ZoomStart + (ZoomTarget - ZoomStart) * static_cast<float>(now - ZoomStartTime) /
                                             static_cast<float>(ZoomEndTime - ZoomStartTime);
    }
    PickState = 2;
    ClampMapCamera();
}

void ZoomMapCamera(int32_t wheel, int32_t now)
{
    if (wheel == 0 || (wheel < 0 && MapCamera.Distance >= FarDistance) ||
        (wheel > 0 && MapCamera.Distance <= NearDistance))
        return;
    const float move = -static_cast<float>(wheel) / 20.0f;
    const bool sameWay = Zooming != 0 && ((ZoomTarget - ZoomStart) < 0) == (move < 0);
    if (sameWay) {
        ZoomTarget += move;
        ZoomEndTime += 100;
    } else {
        Zooming = 1;
        ZoomStart = MapCamera.Distance;
        ZoomStartTime = now;
        ZoomTarget = MapCamera.Distance + move;
        ZoomEndTime = now + 100;
    }
}

void StartMapCameraRotation(int32_t mouseX, int32_t mouseY)
{
    Rotating = 1;
    AnchorX = mouseX;
    AnchorY = mouseY;
    AnchorYaw = MapCamera.Yaw;
    AnchorPitch = MapCamera.Pitch;
}

void RotateMapCamera(int32_t mouseX, int32_t mouseY, int32_t screenWidth)
{
    if (Rotating == 0 || screenWidth <= 0)
        return;
    MapCamera.Yaw = AnchorYaw - 4.0f * static_cast<float>(mouseX - AnchorX) / static_cast<float>(screenWidth);
    MapCamera.Pitch = AnchorPitch + static_cast<float>(mouseY - AnchorY) * Pi / static_cast<float>(screenWidth);
    PickState = 2;
    ClampMapCamera();
}

void FollowArmyWithCamera(int32_t army)
{
    if (army < 0 || static_cast<size_t>(army) >= GameArmies.size())
        return;
    const TGameArmy& a = GameArmies[static_cast<size_t>(army)];
    MapCamera.ViewOffset = {-a.Pos[0], -a.Pos[1], -a.Pos[2] - CameraHeightOffset};
    ClampMapCamera();
}

void SetCameraHeightOffset()
{
    CameraHeightOffset = 0;
}
