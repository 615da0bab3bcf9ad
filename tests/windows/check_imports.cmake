# Fails unless PROGRAM imports only DLLs that every Windows installation has
# (the C++ runtime, libgcc and winpthread must be linked in statically), and
# imports by name every platform function the core calls: nothing of them
# may be supplied from inside the program.
#   cmake -DOBJDUMP=... -DPROGRAM=... -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
set(allowed kernel32.dll msvcrt.dll setupapi.dll winusb.dll hid.dll)
set(bad "")
set(seen "")
foreach(line IN LISTS lines)
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    list(APPEND seen ${dll})
    if(NOT dll IN_LIST allowed)
        list(APPEND bad ${dll})
    endif()
endforeach()
message(STATUS "imports: ${seen}")
if(bad)
    message(FATAL_ERROR "imports DLLs a bare Windows lacks or that should be static: ${bad}")
endif()
foreach(needed setupapi.dll winusb.dll hid.dll)
    if(NOT needed IN_LIST seen)
        message(FATAL_ERROR "does not import ${needed}: not built against the real APIs?")
    endif()
endforeach()

# One import table block per DLL: a "DLL Name:" line, then one line per
# function, up to a blank line.
set(required
    kernel32.dll:CreateFileA kernel32.dll:CloseHandle kernel32.dll:GetLastError
    kernel32.dll:LocalAlloc kernel32.dll:LocalFree kernel32.dll:Sleep kernel32.dll:GetTickCount
    kernel32.dll:SetConsoleCtrlHandler
    setupapi.dll:SetupDiGetClassDevsA setupapi.dll:SetupDiEnumDeviceInterfaces
    setupapi.dll:SetupDiGetDeviceInterfaceDetailA setupapi.dll:SetupDiDestroyDeviceInfoList
    winusb.dll:WinUsb_Initialize winusb.dll:WinUsb_Free winusb.dll:WinUsb_GetDescriptor
    winusb.dll:WinUsb_QueryInterfaceSettings winusb.dll:WinUsb_QueryPipe
    winusb.dll:WinUsb_SetPipePolicy winusb.dll:WinUsb_ControlTransfer winusb.dll:WinUsb_ReadPipe
    kernel32.dll:CreateEventA kernel32.dll:ReadFile kernel32.dll:WaitForSingleObject
    kernel32.dll:GetOverlappedResult kernel32.dll:CancelIo
    hid.dll:HidD_GetHidGuid hid.dll:HidD_GetAttributes hid.dll:HidD_GetPreparsedData
    hid.dll:HidD_FreePreparsedData hid.dll:HidP_GetCaps hid.dll:HidP_InitializeReportForID
    hid.dll:HidD_SetFeature)
string(REGEX MATCHALL "DLL Name: [^\n]+\n[^\n]*\n(\t[0-9a-fA-F]+\t +[0-9]+ +[A-Za-z_0-9]+\n)+"
       blocks "${dump}")
set(imported "")
foreach(block IN LISTS blocks)
    string(REGEX MATCH "DLL Name: ([^\n]+)" _ "${block}")
    string(STRIP "${CMAKE_MATCH_1}" dll)
    string(TOLOWER "${dll}" dll)
    string(REGEX MATCHALL "\t[0-9a-fA-F]+\t +[0-9]+ +[A-Za-z_0-9]+" entries "${block}")
    foreach(entry IN LISTS entries)
        string(REGEX MATCH "[A-Za-z_0-9]+$" name "${entry}")
        list(APPEND imported "${dll}:${name}")
    endforeach()
endforeach()
set(missing "")
foreach(function IN LISTS required)
    string(TOLOWER "${function}" function_lower)
    set(found OFF)
    foreach(have IN LISTS imported)
        string(TOLOWER "${have}" have_lower)
        if(have_lower STREQUAL function_lower)
            set(found ON)
        endif()
    endforeach()
    if(NOT found)
        list(APPEND missing ${function})
    endif()
endforeach()
list(LENGTH imported count)
message(STATUS "${count} functions imported by name")
if(missing)
    message(FATAL_ERROR "not imported from the system: ${missing}")
endif()
