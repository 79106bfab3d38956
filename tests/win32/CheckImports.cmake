# What a Windows program imports, checked against what Windows XP (32-bit, SP3) and
# XP x64 / Server 2003 provide, with objdump -p. Run with cmake -P:
#
#   cmake -DOBJDUMP=<triple>-objdump -DEXE=build/win64/Velmora.exe -DBITS=8
#         -P tests/win32/CheckImports.cmake
#
# OBJDUMP  the MinGW objdump (the toolchain's VELMORA_OBJDUMP)
# EXE      the program to check
# BITS     pointer size of the build: 4 (subsystem version at most 5.01) or 8 (5.02)
# EXPECT   optional, for checking this script itself: the problem keys, separated by
#          commas, that must be found (the run then succeeds only if exactly these are)
#
# Fails when
#  - a DLL outside KERNEL32 USER32 GDI32 ADVAPI32 OLE32 OLEAUT32 SHELL32 msvcrt
#    ntdll is imported (version.dll and shlwapi.dll among them: they are loaded at
#    run time from the system folder), or anything is delay-loaded;
#  - the program is not marked terminal-server aware (DllCharacteristics 0x8000),
#    so that a Remote Desktop host gives it the real Windows folder;
#  - a function that XP lacks is imported (the secure "_s" CRT functions, Vista's
#    synchronisation, fiber-local storage, one-time initialisation, K32*, ...);
#  - the subsystem is not the Windows GUI (2), or its version, or the operating
#    system version, is above 5.01 (32-bit) / 5.02 (64-bit).
# Problem keys: dll:<name>  delay-import  xp:<dll>!<function>  subsystem:<n>
#               subsystem-version:<a.b>  os-version:<a.b>  format:<format>  tsaware

cmake_minimum_required(VERSION 3.25)

foreach(required OBJDUMP EXE BITS)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "CheckImports: -D${required}=... is required")
  endif()
endforeach()
if(NOT EXISTS "${EXE}")
  message(FATAL_ERROR "CheckImports: ${EXE} does not exist: build it first")
endif()

if(BITS EQUAL 4)
  set(max_version_major 5)
  set(max_version_minor 1)
  set(expected_format "pei-i386")
elseif(BITS EQUAL 8)
  set(max_version_major 5)
  set(max_version_minor 2)
  set(expected_format "pei-x86-64")
else()
  message(FATAL_ERROR "CheckImports: BITS must be 4 or 8, not ${BITS}")
endif()

set(allowed_dlls kernel32.dll user32.dll gdi32.dll advapi32.dll ole32.dll oleaut32.dll shell32.dll msvcrt.dll
                 ntdll.dll)
set(run_time_dlls version.dll shlwapi.dll)

# Functions that XP SP3 (and XP x64 / Server 2003 for the 64-bit build) does not
# export, as regular expressions over the imported name.
set(missing_on_xp
  "_s$"                          # secure CRT: strcpy_s, _vsnprintf_s, wcscpy_s, memcpy_s, ...
  "^GetTickCount64$"
  "SRWLock"                      # InitializeSRWLock, AcquireSRWLockExclusive, RtlAcquireSRWLock...
  "ConditionVariable"            # InitializeConditionVariable, SleepConditionVariableCS, ...
  "^Fls(Alloc|Free|GetValue|SetValue)$"
  "^InitOnce"                    # InitOnceExecuteOnce, InitOnceBeginInitialize, ...
  "^RtlRunOnce"
  "^InitializeCriticalSectionEx$"
  "^K32"                         # K32GetModuleFileNameExW, K32EnumProcesses, ...
  "^GetFileInformationByHandleEx$"
  "^SetFileInformationByHandle$"
  "^OpenFileById$"
  "^SetDefaultDllDirectories$"
  "^AddDllDirectory$"
  "^RemoveDllDirectory$"
  "^CreateSymbolicLink"
  "^GetFinalPathNameByHandle"
  "^CancelIoEx$"
  "^CancelSynchronousIo$"
  "^GetQueuedCompletionStatusEx$"
  "^SetFileCompletionNotificationModes$"
  "^Create(Event|Mutex|Semaphore|WaitableTimer)Ex[AW]$"
  "Threadpool"                   # CreateThreadpoolWork, SubmitThreadpoolWork, ...
  "^Tp[A-Z]"                     # ntdll thread pool
  "^QueryFullProcessImageName"
  "^(Get|Set)ThreadErrorMode$"
  "^GetErrorMode$"
  "^GetSystemTimePreciseAsFileTime$"
  "^QueryUnbiasedInterruptTime$"
  "^RtlQueryPerformanceCounter$"
  "^CopyFile2$"
  "^CreateFile2$"
  "^GetCurrentProcessorNumber"
  "^GetLogicalProcessorInformationEx$"
  "^(GetActive|GetMaximum)Processor(Count|GroupCount)$"
  "^GetProductInfo$"
  "^InterlockedCompareExchange64$"
  "^RaiseFailFastException$"
  "^(Initialize|Update|Delete)ProcThreadAttributeList$"
  "^CreateRemoteThreadEx$"
  "^FlushProcessWriteBuffers$"
  "^(Get|Set)DynamicTimeZoneInformation$"
  "^GetTimeZoneInformationForYear$"
  "LocaleName"                   # LocaleNameToLCID, LCIDToLocaleName, GetUserDefaultLocaleName, ...
  "^(GetLocaleInfo|CompareString|LCMapString|GetNumberFormat|GetCurrencyFormat|GetDateFormat|GetTimeFormat|GetCalendarInfo|FindNLSString|EnumSystemLocales)Ex$"
  "^CompareStringOrdinal$"
  "^(Get|Set)(Thread|Process|System|User)PreferredUILanguages$"
  "^(Idn|Normalize|IsNormalized)"
  "Transacted"                   # CreateFileTransactedW, RegOpenKeyTransactedW, ...
  "CycleTime$"                   # QueryProcessCycleTime, QueryThreadCycleTime, ...
  "^Wer[A-Z]"
  "^(Register|Unregister)Application(Restart|RecoveryCallback)$"
  "^Etw[A-Z]"
  "^Event(Register|Unregister|Write|WriteEx|WriteString|WriteTransfer|Enabled|ProviderEnabled|ActivityIdControl|SetInformation)$"
  "^Reg(GetValue|DeleteTree|CopyTree|SetKeyValue|DeleteKeyValue|LoadMUIString|DeleteKeyEx)[AW]$"
  "^GetVolumeInformationByHandleW$"
  "^FindFirstStream"
  "^GetPhysicallyInstalledSystemMemory$"
  "^(Enum|Get)SystemFirmwareTable"
  "^SetThreadStackGuarantee$"
  "^IsThreadAFiber$"
  "^Wow64(GetThreadContext|SetThreadContext|SuspendThread)$"
  "^(SetProcessDPIAware|IsProcessDPIAware|SetProcessDpiAwarenessContext|GetDpiForWindow|GetDpiForSystem)$"
  "^ChangeWindowMessageFilter"
  "^AddClipboardFormatListener$"
  "^ShutdownBlockReason"
  "^RegisterPowerSettingNotification$"
  "^(Register|Unregister)TouchWindow$"
  "^UpdateLayeredWindowIndirect$"
  "KnownFolder"                  # SHGetKnownFolderPath, SHGetKnownFolderIDList, ...
  "^SHCreateItem"
  "^SHGetStockIconInfo$"
  "^SHQueryUserNotificationState$"
  "ExplicitAppUserModelID$"
  "^Co(GetApartmentType|IncrementMTAUsage|DecrementMTAUsage|DisconnectContext)$"
  "^RoInitialize$"
  "^Ldr(Register|Unregister)DllNotification$"
)
# The CRT of 32-bit XP has none of these; the 64-bit one (from XP x64) has them.
if(BITS EQUAL 4)
  list(APPEND missing_on_xp "^_[a-z0-9_]+_l$" "^strnlen$" "^wcsnlen$" "^_fseeki64$" "^_ftelli64$")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error
                RESULT_VARIABLE dump_result)
if(NOT dump_result EQUAL 0)
  message(FATAL_ERROR "CheckImports: ${OBJDUMP} -p ${EXE} failed (${dump_result}): ${dump_error}")
endif()

# Line by line; semicolons would split CMake lists, so they are neutralised first.
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")

set(problems)
set(messages)
set(dlls)
set(function_count 0)
set(in_imports FALSE)
set(current_dll "")
foreach(line IN LISTS lines)
  if(line MATCHES "file format ([^ \t]+)")
    if(NOT CMAKE_MATCH_1 STREQUAL expected_format)
      list(APPEND problems "format:${CMAKE_MATCH_1}")
      list(APPEND messages "file format ${CMAKE_MATCH_1}, expected ${expected_format}")
    endif()
  elseif(line MATCHES "^Subsystem[ \t]+([0-9a-fA-F]+)")
    math(EXPR subsystem "0x${CMAKE_MATCH_1}")
  elseif(line MATCHES "^DllCharacteristics[ \t]+([0-9a-fA-F]+)")
    math(EXPR dll_characteristics "0x${CMAKE_MATCH_1}")
  elseif(line MATCHES "^MajorSubsystemVersion[ \t]+([0-9]+)")
    set(subsystem_major ${CMAKE_MATCH_1})
  elseif(line MATCHES "^MinorSubsystemVersion[ \t]+([0-9]+)")
    set(subsystem_minor ${CMAKE_MATCH_1})
  elseif(line MATCHES "^MajorOSystemVersion[ \t]+([0-9]+)")
    set(os_major ${CMAKE_MATCH_1})
  elseif(line MATCHES "^MinorOSystemVersion[ \t]+([0-9]+)")
    set(os_minor ${CMAKE_MATCH_1})
  elseif(line MATCHES "^Entry d [0-9a-fA-F]+ ([0-9a-fA-F]+) Delay Import Directory")
    if(NOT CMAKE_MATCH_1 MATCHES "^0+$")
      list(APPEND problems "delay-import")
      list(APPEND messages "a delay-load import directory is present")
    endif()
  elseif(line MATCHES "^The Import Tables")
    set(in_imports TRUE)
  elseif(in_imports AND line MATCHES "^[A-Z]")
    # The next part of the dump (function table, relocations, ...).
    set(in_imports FALSE)
  elseif(in_imports AND line MATCHES "DLL Name: (.+)$")
    string(STRIP "${CMAKE_MATCH_1}" current_dll)
    list(APPEND dlls "${current_dll}")
    string(TOLOWER "${current_dll}" dll_lower)
    if(dll_lower IN_LIST run_time_dlls)
      list(APPEND problems "dll:${current_dll}")
      list(APPEND messages "imports ${current_dll}: it must be loaded at run time from the system folder")
    elseif(NOT dll_lower IN_LIST allowed_dlls)
      list(APPEND problems "dll:${current_dll}")
      list(APPEND messages "imports ${current_dll}, a DLL outside the allowed set")
    endif()
  elseif(in_imports AND NOT current_dll STREQUAL "" AND line MATCHES "^\t[0-9a-fA-F]+\t +[0-9]+ +([A-Za-z_?@$][^ \t]*)")
    set(function "${CMAKE_MATCH_1}")
    math(EXPR function_count "${function_count} + 1")
    foreach(pattern IN LISTS missing_on_xp)
      if(function MATCHES "${pattern}")
        list(APPEND problems "xp:${current_dll}!${function}")
        list(APPEND messages "imports ${current_dll}!${function}, which Windows XP does not have")
        break()
      endif()
    endforeach()
  endif()
endforeach()

if(NOT DEFINED subsystem OR NOT DEFINED subsystem_major OR NOT DEFINED subsystem_minor)
  message(FATAL_ERROR "CheckImports: no subsystem in the dump of ${EXE}")
endif()
if(NOT dlls OR function_count EQUAL 0)
  message(FATAL_ERROR "CheckImports: no import table read from ${EXE}")
endif()
if(NOT DEFINED dll_characteristics)
  message(FATAL_ERROR "CheckImports: no DllCharacteristics in the dump of ${EXE}")
endif()
math(EXPR terminal_server_aware "${dll_characteristics} & 0x8000")
if(terminal_server_aware EQUAL 0)
  list(APPEND problems "tsaware")
  list(APPEND messages "not terminal-server aware: link with --tsaware")
endif()
if(NOT subsystem EQUAL 2)
  list(APPEND problems "subsystem:${subsystem}")
  list(APPEND messages "subsystem ${subsystem}, not 2 (Windows GUI)")
endif()
math(EXPR max_version "${max_version_major} * 100 + ${max_version_minor}")
math(EXPR subsystem_version "${subsystem_major} * 100 + ${subsystem_minor}")
if(subsystem_version GREATER max_version)
  list(APPEND problems "subsystem-version:${subsystem_major}.${subsystem_minor}")
  list(APPEND messages "subsystem version ${subsystem_major}.${subsystem_minor}, above "
                       "${max_version_major}.${max_version_minor}")
endif()
if(DEFINED os_major AND DEFINED os_minor)
  math(EXPR os_version "${os_major} * 100 + ${os_minor}")
  if(os_version GREATER max_version)
    list(APPEND problems "os-version:${os_major}.${os_minor}")
    list(APPEND messages "operating system version ${os_major}.${os_minor}, above "
                         "${max_version_major}.${max_version_minor}")
  endif()
endif()

list(LENGTH dlls dll_count)
list(JOIN dlls " " dll_text)
message(STATUS "${EXE}: subsystem ${subsystem} ${subsystem_major}.${subsystem_minor}, "
               "${function_count} functions from ${dll_count} DLLs: ${dll_text}")

if(DEFINED EXPECT)
  # Checking the check: exactly the expected problems must be found.
  set(found ${problems})
  string(REPLACE "," ";" wanted "${EXPECT}")
  list(REMOVE_DUPLICATES found)
  list(SORT found)
  list(REMOVE_DUPLICATES wanted)
  list(SORT wanted)
  if(NOT found STREQUAL wanted)
    message(FATAL_ERROR "CheckImports: found problems [${found}], expected [${wanted}]")
  endif()
  message(STATUS "CheckImports: found exactly the expected problems [${found}]")
  return()
endif()

if(problems)
  list(LENGTH problems problem_count)
  list(JOIN messages "\n  " message_text)
  message(FATAL_ERROR "CheckImports: ${EXE} will not run on Windows XP (${problem_count} problem(s)):\n  ${message_text}")
endif()
message(STATUS "CheckImports: ${EXE} imports only what Windows XP provides")
