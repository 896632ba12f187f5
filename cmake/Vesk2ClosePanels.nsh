; Vesk2ClosePanels (installer) and un.Vesk2ClosePanels (uninstaller) close every
; running Vesk 2 Control Panel the way a user closing its window does: WM_CLOSE to
; the window, which the program answers by quitting with exit code 0. Each close then
; waits for the process itself to end, since it still holds its executable and the
; driver's library while it shuts down after its window has gone.

!include WinMessages.nsh

!define VESK2_WINDOW_TITLE "Vesk 2 Control Panel"
!define VESK2_SYNCHRONIZE 0x00100000

!macro VESK2_CLOSE_PANELS_FUNCTION PREFIX
Function ${PREFIX}Vesk2ClosePanels
    Push $0
    Push $1
    Push $2
    Push $3
    ; A bound on the rounds, so that a window which ignores the request cannot hold
    ; the installer for ever.
    StrCpy $3 0

    next_window:
        ; Any class: JUCE names its window classes at run time.
        FindWindow $0 "" "${VESK2_WINDOW_TITLE}"
        IntPtrCmp $0 0 done
        IntCmp $3 10 done
        IntOp $3 $3 + 1

        StrCpy $1 0
        System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1) i"
        System::Call "kernel32::OpenProcess(i ${VESK2_SYNCHRONIZE}, i 0, i r1) p .r2"
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
        IntPtrCmp $2 0 no_process
            System::Call "kernel32::WaitForSingleObject(p r2, i 20000) i"
            System::Call "kernel32::CloseHandle(p r2) i"
            Goto next_window
        no_process:
            Sleep 500
            Goto next_window

    done:
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend

!insertmacro VESK2_CLOSE_PANELS_FUNCTION ""
!insertmacro VESK2_CLOSE_PANELS_FUNCTION "un."
