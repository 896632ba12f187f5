/*
    A stand-in, on Linux, for exactly the user32 and kernel32 calls that the
    notification window and the simulated driver make: a registered window class,
    message-only windows with a user-data slot, a message queue per window that
    any thread may post to, and a blocking GetMessageA for one window.

    Types and constants keep their Windows names and widths (pointer-sized
    WPARAM, LPARAM, LRESULT and LONG_PTR) so the calling code is the same on
    both systems. The library is shared, so the program and the simulator
    library inside it see the same windows.
*/
#pragma once

#include <stdint.h>

#define VESK2_WIN32_API __attribute__((visibility ("default")))

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
typedef unsigned int UINT;
typedef unsigned short ATOM;
typedef unsigned long DWORD;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t LONG_PTR;
typedef const char* LPCSTR;
typedef void* LPVOID;

typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HMENU__* HMENU;
typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__* HBRUSH;

typedef LRESULT (*WNDPROC) (HWND, UINT, WPARAM, LPARAM);

typedef struct tagPOINT { long x, y; } POINT;

typedef struct tagMSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG;

typedef struct tagWNDCLASSEXA
{
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEXA;

#define TRUE 1
#define FALSE 0
#define CALLBACK    /* the calling convention of a window procedure: the default here */

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define COLOR_WINDOW 5
#define GWLP_USERDATA (-21)
#define HWND_MESSAGE ((HWND) (intptr_t) -3)

#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_USER 0x0400

VESK2_WIN32_API ATOM RegisterClassExA (const WNDCLASSEXA* windowClass);

VESK2_WIN32_API HWND CreateWindowExA (DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                                      int x, int y, int width, int height,
                                      HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);

VESK2_WIN32_API LONG_PTR SetWindowLongPtrA (HWND window, int index, LONG_PTR newValue);
VESK2_WIN32_API LONG_PTR GetWindowLongPtrA (HWND window, int index);

VESK2_WIN32_API BOOL GetMessageA (MSG* message, HWND window, UINT filterMin, UINT filterMax);
VESK2_WIN32_API BOOL TranslateMessage (const MSG* message);
VESK2_WIN32_API LRESULT DispatchMessageA (const MSG* message);
VESK2_WIN32_API LRESULT DefWindowProcA (HWND window, UINT message, WPARAM wParam, LPARAM lParam);
VESK2_WIN32_API BOOL PostMessageA (HWND window, UINT message, WPARAM wParam, LPARAM lParam);
VESK2_WIN32_API HMODULE GetModuleHandleA (LPCSTR moduleName);

#ifdef __cplusplus
}
#endif
