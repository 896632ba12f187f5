; Vesk2ClosePanels (installer) and un.Vesk2ClosePanels (uninstaller) end every running
; panel whose executable is $INSTDIR\Vesk2ControlPanel.exe, and no other process.
;
; - Each panel of this folder in the user's session is sent the text "Vesk 2 Control
;   Panel/-exitall" through JUCE's inter-process broadcast, which the program answers by
;   quitting with exit code 0. The broadcast reaches the program's hidden message
;   window, so it works while a pop-up list or a tooltip keeps the main window from
;   taking a close request.
; - A panel that still runs after a while (another user's session, where the broadcast
;   never reaches) is handed to the Windows Restart Manager, which asks it to end as
;   Windows does at log-off.
; - The wait is for the processes themselves, since a panel holds its executable until
;   it has ended, and it is bounded: the caller checks its writes and deletes, and a
;   panel still running then is reported there.
;
; Needs !define VESK2_PROGRAM (the executable's file name) and VESK2_EXITALL_UTF32 (the
; broadcast text as UTF-32 code units, "i 86, i 101, ..., i 0", made by the build).

!include LogicLib.nsh

!define VESK2_CLOSE_TIMEOUT_MS 30000
; After this long the panels left are handed to the Restart Manager.
!define VESK2_BROADCAST_GRACE_MS 10000
!define VESK2_SYNCHRONIZE_AND_QUERY 0x00101000  ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
!define VESK2_WM_COPYDATA 0x004A
!define VESK2_SMTO_BLOCK_ABORTIFHUNG 3
; JUCE's broadcast: WM_COPYDATA with this tag to every top-level window so titled.
!define VESK2_JUCE_BROADCAST_TAG 50179          ; 0xc403
!define VESK2_JUCE_MESSAGE_WINDOW "JUCEWindow"
; Room for 4096 process ids.
!define VESK2_PROCESS_LIST_BYTES 16384

!macro VESK2_CLOSE_PANELS_FUNCTIONS PREFIX

; Pushes a handle (SYNCHRONIZE) to the first process whose executable is this folder's
; program, or 0 when none runs.
Function ${PREFIX}Vesk2FindPanelProcess
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    StrCpy $5 0
    System::Alloc ${VESK2_PROCESS_LIST_BYTES}
    Pop $0
    System::Call "kernel32::K32EnumProcesses(p r0, i ${VESK2_PROCESS_LIST_BYTES}, *i .r1) i .r2"
    ${If} $2 <> 0
        ; The last index: the function gives the bytes it filled.
        IntOp $1 $1 / 4
        IntOp $1 $1 - 1
        ${For} $2 0 $1
            IntOp $3 $2 * 4
            IntPtrOp $3 $0 + $3
            System::Call "*$3(i .r3)"
            Push $3
            Call ${PREFIX}Vesk2OpenIfPanel
            Pop $5
            ${IfThen} $5 P<> 0 ${|} ${Break} ${|}
        ${Next}
    ${EndIf}
    System::Free $0
    StrCpy $0 $5
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Takes a process id; pushes a handle to that process when its executable is this
; folder's program, else 0.
Function ${PREFIX}Vesk2OpenIfPanel
    Exch $0
    Push $1
    Push $2
    System::Call "kernel32::OpenProcess(i ${VESK2_SYNCHRONIZE_AND_QUERY}, i 0, i r0) p .r1"
    ${If} $1 P<> 0
        StrCpy $2 ""
        System::Call "kernel32::QueryFullProcessImageNameW(p r1, i 0, w .r2, *i ${NSIS_MAX_STRLEN}) i"
        ; StrCmp compares without regard to case, as Windows paths are.
        ${If} $2 != "$INSTDIR\${VESK2_PROGRAM}"
            System::Call "kernel32::CloseHandle(p r1) i"
            StrCpy $1 0
        ${EndIf}
    ${EndIf}
    StrCpy $0 $1
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Sends "-exitall" through JUCE's broadcast to the message window of each panel of this
; folder in this session.
Function ${PREFIX}Vesk2BroadcastExitAll
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    System::Call "*(${VESK2_EXITALL_UTF32}) p .r3"
    System::Call "*(p ${VESK2_JUCE_BROADCAST_TAG}, i ${VESK2_EXITALL_BYTES}, i 0, p r3) p .r4"
    StrCpy $0 0
    ${Do}
        System::Call "user32::FindWindowExW(p 0, p r0, p 0, w '${VESK2_JUCE_MESSAGE_WINDOW}') p .r0"
        ${IfThen} $0 P= 0 ${|} ${ExitDo} ${|}
        StrCpy $1 0
        System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1) i"
        Push $1
        Call ${PREFIX}Vesk2OpenIfPanel
        Pop $2
        ${If} $2 P<> 0
            DetailPrint "Closing $INSTDIR\${VESK2_PROGRAM} (process $1)"
            System::Call "user32::SendMessageTimeoutW(p r0, i ${VESK2_WM_COPYDATA}, p $HWNDPARENT, p r4, i ${VESK2_SMTO_BLOCK_ABORTIFHUNG}, i 8000, *p .r1) p"
            System::Call "kernel32::CloseHandle(p r2) i"
        ${EndIf}
    ${Loop}
    System::Free $4
    System::Free $3
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Asks the Restart Manager to end whatever runs this folder's program, in any session.
Function ${PREFIX}Vesk2RestartManagerShutdown
    Push $0
    Push $1
    Push $2
    Push $3
    ; A session key is 32 characters and its end.
    System::Call "rstrtmgr::RmStartSession(*i .r0, i 0, w .r1) i .r2"
    ${If} $2 = 0
        System::Call "*(&w${NSIS_MAX_STRLEN} '$INSTDIR\${VESK2_PROGRAM}') p .r1"
        System::Call "*(p r1) p .r3"
        System::Call "rstrtmgr::RmRegisterResources(i r0, i 1, p r3, i 0, p 0, i 0, p 0) i .r2"
        ${If} $2 = 0
            System::Call "rstrtmgr::RmShutdown(i r0, i 0, p 0) i"
        ${EndIf}
        System::Call "rstrtmgr::RmEndSession(i r0) i"
        System::Free $3
        System::Free $1
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Waits until no panel of this folder runs or the milliseconds on the stack have passed
; since $R9 (GetTickCount at the start of the close); pushes 1 when one still runs.
Function ${PREFIX}Vesk2WaitForPanels
    Exch $0
    Push $1
    Push $2
    ${Do}
        Call ${PREFIX}Vesk2FindPanelProcess
        Pop $1
        ${IfThen} $1 P= 0 ${|} ${ExitDo} ${|}
        System::Call "kernel32::GetTickCount() i .r2"
        IntOp $2 $2 - $R9
        IntOp $2 $0 - $2
        ${If} $2 > 0
            System::Call "kernel32::WaitForSingleObject(p r1, i r2) i"
        ${EndIf}
        System::Call "kernel32::CloseHandle(p r1) i"
        ${If} $2 <= 0
            StrCpy $1 1
            ${ExitDo}
        ${EndIf}
    ${Loop}
    StrCpy $0 $1
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

Function ${PREFIX}Vesk2ClosePanels
    Push $R9
    Push $0
    System::Call "kernel32::GetTickCount() i .R9"
    Call ${PREFIX}Vesk2BroadcastExitAll
    Push ${VESK2_BROADCAST_GRACE_MS}
    Call ${PREFIX}Vesk2WaitForPanels
    Pop $0
    ${If} $0 = 1
        Call ${PREFIX}Vesk2RestartManagerShutdown
        Push ${VESK2_CLOSE_TIMEOUT_MS}
        Call ${PREFIX}Vesk2WaitForPanels
        Pop $0
    ${EndIf}
    Pop $0
    Pop $R9
FunctionEnd

!macroend

!insertmacro VESK2_CLOSE_PANELS_FUNCTIONS ""
!insertmacro VESK2_CLOSE_PANELS_FUNCTIONS "un."
