; The peer of the installation benchmark: the installation our setup program
; makes (the two files, Start Menu and Desktop shortcuts for all users, an
; uninstaller, the uninstall entry), built with NSIS 3 for 64-bit Windows and
; run silently.  bench/install/run builds it three ways:
;   makensis -DAPP=FILE -DHELP=FILE -DOUT=FILE -DCOMPRESSION="/SOLID lzma" peer.nsi
;   the same with -DCOMPRESSION=zlib (NSIS's default)
;   -DEMPTY: an installer that installs nothing, whose run is subtracted
Unicode true
Target amd64-unicode
SetCompressor ${COMPRESSION}
Name "VEK Lumovara Remote"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES64\VEK\LumovaraRemote NSIS"
RequestExecutionLevel admin
ShowInstDetails nevershow

!define KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VEK_LumovaraRemote_NSIS"
!define LINK "VEK Lumovara Remote NSIS.lnk"

Section
!ifndef EMPTY
  SetOutPath "$INSTDIR"
  File "/oname=LumovaraRemote.exe" "${APP}"
  File "/oname=LumovaraRemote.chm" "${HELP}"
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\VEK"
  CreateShortcut "$SMPROGRAMS\VEK\${LINK}" "$INSTDIR\LumovaraRemote.exe"
  CreateShortcut "$DESKTOP\${LINK}" "$INSTDIR\LumovaraRemote.exe"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  SetRegView 64
  WriteRegStr HKLM "${KEY}" "DisplayName" "VEK Lumovara Remote"
  WriteRegStr HKLM "${KEY}" "DisplayVersion" "2.0 release candidate 1"
  WriteRegStr HKLM "${KEY}" "Publisher" "VEK"
  WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${KEY}" "DisplayIcon" '"$INSTDIR\Uninstall.exe"'
  WriteRegDWORD HKLM "${KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
  ; The installed size in KiB, as ours measures it.
  FileOpen $0 "$INSTDIR\LumovaraRemote.exe" r
  FileSeek $0 0 END $1
  FileClose $0
  FileOpen $0 "$INSTDIR\LumovaraRemote.chm" r
  FileSeek $0 0 END $2
  FileClose $0
  FileOpen $0 "$INSTDIR\Uninstall.exe" r
  FileSeek $0 0 END $3
  FileClose $0
  IntOp $1 $1 + $2
  IntOp $1 $1 + $3
  IntOp $1 $1 / 1024
  WriteRegDWORD HKLM "${KEY}" "EstimatedSize" $1
!endif
SectionEnd

!ifndef EMPTY
Section Uninstall
  SetShellVarContext all
  Delete "$SMPROGRAMS\VEK\${LINK}"
  RMDir "$SMPROGRAMS\VEK"
  Delete "$DESKTOP\${LINK}"
  Delete "$INSTDIR\LumovaraRemote.exe"
  Delete "$INSTDIR\LumovaraRemote.chm"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  SetRegView 64
  DeleteRegKey HKLM "${KEY}"
SectionEnd
!endif
