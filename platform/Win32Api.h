/*
    The few window-system calls that the notification window and the simulated
    driver make. On Windows they are user32's own; elsewhere our stand-in in
    this folder provides them, one instance per process in a shared library.
*/
#pragma once

#if defined (_WIN32)
 #ifndef WIN32_LEAN_AND_MEAN
  #define WIN32_LEAN_AND_MEAN
 #endif
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #include <windows.h>
#else
 #include "Win32StandIn.h"
#endif
