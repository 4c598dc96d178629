#pragma once
// The application's title, and the main window's caption made of the same words.

inline constexpr const char* kApplicationTitle = "VELTRAN 3.3 (Network connections at a glance)";
inline constexpr const char* kWindowCaption = "VELTRAN 3.3  (Network connections at a glance)";
