#pragma once

// The device's screen orientation in quarter turns, as the device reports it.
enum class KXRotationObc : int {
    rotation0 = 0,
    rotation90 = 1,
    rotation180 = 2,
    rotation270 = 3,
};
