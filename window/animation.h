// The window's animated height. One 16 ms window timer eases the height
// towards the page's height and the drawn progress towards the reported one,
// and advances the clock of the header island; with client-area animation
// switched off in Windows every change happens at once and no timer runs.
#pragma once

#include <windows.h>

inline constexpr UINT_PTR AnimationTimerId = 1;
inline constexpr float kWindowWidthDips = 460.0f;

// A length in DIPs as pixels at the window's dpi, halves rounded away from
// zero in single precision.
int DipsToPixels(float dips);

// Takes the target height from the page (the licence's no higher than the
// work area of the window's monitor where it can be); with `snap` (or reduced
// motion) also the current height. Resizes the window to the current height,
// keeping its top edge where it is unless the window would leave the work
// area.
void UpdateWindowHeight(bool snap);

// Restarts the timer when the height has to move or an operation runs.
void StartAnimation();

// One tick of the timer.
void AnimationStep();
