# Where the two programs, the installer and the scripts meet: the names and numbers they must
# agree on, written here once. Each of them takes them from a file made from these:
#   <build>/product/product.h     for the programs (and the Windows tests)
#   <build>/product/product.nsh   for the installer
#   <build>/product/product.env   for the scripts and the release test: NAME='value' lines
# The version is project(VERSION) in the top CMakeLists.txt.

# The service, its settings and its event source.
set(KELVARID_SERVICE_NAME "Kelvarid")
set(KELVARID_SERVICE_KEY "SYSTEM\\CurrentControlSet\\Services\\${KELVARID_SERVICE_NAME}")
set(KELVARID_PARAMETERS_KEY "${KELVARID_SERVICE_KEY}\\Parameters")
set(KELVARID_PORT_VALUE "Port")
set(KELVARID_EVENT_SOURCE_KEY "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\${KELVARID_SERVICE_NAME}")
# What the service keeps of its runs (the last pulse, how a run ended, the stops by its health
# checks in a row): a file in a folder of the machine's program data (C:\ProgramData) that only
# administrators, SYSTEM and the service's account can change; the installer makes the folder.
set(KELVARID_RECORD_FOLDER "Kelvarid")
set(KELVARID_RECORD_FILE "record.txt")

# Held for as long as Kelvarid runs, in any session: the first by both programs, the second by
# the service alone.
set(KELVARID_INSTANCE_MUTEX "Global\\Kelvarid")
set(KELVARID_SERVICE_MUTEX "Global\\KelvaridService")
# Set by an installer that upgrades a running kelvarid.exe, which then makes way: it lowers the
# line, lets the port go and starts the new version from its folder (restart), or ends (end, when
# the service takes over). kelvarid.exe makes them so that only administrators and SYSTEM can set
# them: no other user may stop another session's pulses.
set(KELVARID_RESTART_EVENT "Global\\KelvaridRestart")
set(KELVARID_END_EVENT "Global\\KelvaridEnd")

# The ports the window program drives, in the order it handles them; the first is the default.
set(KELVARID_PORTS COM1 COM2 COM3 COM4)
# The service takes any port Windows gives, COM1 to this one.
set(KELVARID_LAST_PORT_NUMBER 255)

# Exit codes of both programs.
set(KELVARID_EXIT_FATAL 3)            # a failure it cannot go on from, after its box or log entry
set(KELVARID_EXIT_ALREADY_RUNNING 4)  # Kelvarid already runs on the machine

# Exit codes of kelvarid-service.exe --drill (0: the drill has begun).
set(KELVARID_DRILL_EXIT_NOT_ADMINISTRATOR 20)    # only an administrator may stop the pulses
set(KELVARID_DRILL_EXIT_SERVICE_NOT_RUNNING 21)  # not installed, or not running
set(KELVARID_DRILL_EXIT_CHECKS_HOLD 22)          # the health checks have stopped the pulses already
set(KELVARID_DRILL_EXIT_ALREADY_RUNNING 23)      # another drill waits for its reset
set(KELVARID_DRILL_EXIT_NOT_STARTED 24)          # asked, but the service did not begin one (its log says why)

# Exit codes of the installer's silent run (0: installed).
set(KELVARID_SETUP_EXIT_RUNNING 11)             # Kelvarid's window program runs (not 1 or 2, which the installer's framework gives: cancelled, or a damaged installer)
set(KELVARID_SETUP_EXIT_OTHER_KIND 3)           # the other target's Kelvarid is installed
set(KELVARID_SETUP_EXIT_NEEDS_64BIT 4)          # the x86_64 installer on 32-bit Windows
set(KELVARID_SETUP_EXIT_BAD_OPTION 5)           # an option it does not understand
set(KELVARID_SETUP_EXIT_SERVICE_NOT_STOPPED 6)  # the installed service could not be stopped
set(KELVARID_SETUP_EXIT_ROLLED_BACK 7)          # a step failed after changes, and everything was put back as it was

set(KELVARID_SETUP_EXIT_OLD_WINDOWS 8)          # Windows older than the target's floor
set(KELVARID_SETUP_EXIT_BAD_PORT 9)             # the installed service's Port names no port, and no /PORT= replaces it
set(KELVARID_SETUP_EXIT_FOLDER_NOT_SECURED 10)  # the program's folder could not get its rights; nothing changed
set(KELVARID_SETUP_EXIT_NOT_PUT_BACK 12)        # a step failed after changes, and not everything could be put back (the log says what pulses)
set(KELVARID_SETUP_EXIT_SERVICE_BEING_DELETED 13)  # the service is marked for deletion and another program holds it; nothing changed
set(KELVARID_SETUP_EXIT_DOWNGRADE 14)           # a newer build is installed, and no /DOWNGRADE; nothing changed
set(KELVARID_SETUP_EXIT_REBOOT 3010)            # done, and something completes only at the next restart (what deployment tools know)
set(KELVARID_SETUP_EXIT_ANOTHER_SETUP 1618)     # another installer or uninstaller of Kelvarid runs (what deployment tools know)
# The oldest Windows each target's files run on, as _WIN32_WINNT and WINVER say it (the headers
# then hide what it lacks) and as its installer checks it: XP SP3 for i686, XP x64 and Server
# 2003 for x86_64. tests/package/windows-imports.txt marks every imported function likewise.
set(KELVARID_WINDOWS_FLOOR_i686 0x0501)
set(KELVARID_WINDOWS_FLOOR_NAME_i686 "Windows XP SP3")
set(KELVARID_WINDOWS_FLOOR_x86_64 0x0502)
set(KELVARID_WINDOWS_FLOOR_NAME_x86_64 "Windows XP x64 / Server 2003")
# The release files' names, per target.
set(KELVARID_RELEASE_SUFFIX_i686 "")
set(KELVARID_RELEASE_SUFFIX_x86_64 "-x64")
foreach(target i686 x86_64)
  set(KELVARID_ZIP_NAME_${target} "kelvarid-${KELVARID_VERSION_TEXT}-portable${KELVARID_RELEASE_SUFFIX_${target}}.zip")
  set(KELVARID_SETUP_NAME_${target} "kelvarid-${KELVARID_VERSION_TEXT}-setup${KELVARID_RELEASE_SUFFIX_${target}}.exe")
endforeach()
set(KELVARID_SUMS_NAME "kelvarid-${KELVARID_VERSION_TEXT}-sha256.txt")

# The same, as each kind of file writes it.
function(kelvarid_write_product_files folder)
  foreach(name SERVICE_KEY PARAMETERS_KEY EVENT_SOURCE_KEY INSTANCE_MUTEX SERVICE_MUTEX RESTART_EVENT END_EVENT)
    string(REPLACE "\\" "\\\\" KELVARID_CXX_${name} "${KELVARID_${name}}")
  endforeach()
  list(TRANSFORM KELVARID_PORTS PREPEND "L\"" OUTPUT_VARIABLE wide)
  list(TRANSFORM wide APPEND "\"")
  list(JOIN wide ", " KELVARID_CXX_PORT_NAMES)
  list(GET KELVARID_PORTS 0 KELVARID_FIRST_PORT)
  list(GET KELVARID_PORTS -1 KELVARID_LAST_PORT)
  list(JOIN KELVARID_PORTS " " KELVARID_PORT_LIST)
  set(KELVARID_NSIS_PORTS "")
  set(index 1)
  foreach(port ${KELVARID_PORTS})
    string(APPEND KELVARID_NSIS_PORTS "!define PORT_${index} \"${port}\"\n")
    math(EXPR index "${index} + 1")
  endforeach()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/product.h.in ${folder}/product.h @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/product.nsh.in ${folder}/product.nsh @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/product.env.in ${folder}/product.env @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/service/win32/service_messages.mc ${folder}/service_messages.mc @ONLY)
  kelvarid_write_message_ids(${folder}/service_messages.mc ${folder}/service_messages.env)
endfunction()

# The event ids of the service's message file as the tests see them in Wine's trace:
# MSG_STARTED='0x40000001' lines (the severity in the top two bits, then the message number).
function(kelvarid_write_message_ids messages output)
  file(STRINGS ${messages} lines REGEX "^(MessageId|Severity|SymbolicName)=")
  set(severity_Informational 1)
  set(severity_Warning 2)
  set(severity_Error 3)
  set(text "# Made by CMake from service/win32/service_messages.mc: the event ids of the service's entries.\n")
  foreach(line IN LISTS lines)
    if(line MATCHES "^MessageId=([0-9]+)")
      set(number ${CMAKE_MATCH_1})
    elseif(line MATCHES "^Severity=([A-Za-z]+)")
      set(severity ${severity_${CMAKE_MATCH_1}})
    elseif(line MATCHES "^SymbolicName=([A-Z0-9_]+)")
      if(NOT number OR NOT severity)
        message(FATAL_ERROR "${messages}: ${CMAKE_MATCH_1} has no MessageId or Severity before it")
      endif()
      math(EXPR id "(${severity} << 30) | ${number}" OUTPUT_FORMAT HEXADECIMAL)
      string(APPEND text "${CMAKE_MATCH_1}='${id}'\n")
      unset(number)
      unset(severity)
    endif()
  endforeach()
  file(WRITE ${output} "${text}")
endfunction()
