# The Debian packages: `flashwell`, and `flashwell-pedal` when the standalone pedal emulator is
# part of the build. Read in the top-level directory once all of it has been read (see
# CMakeLists.txt here), so that `if (TARGET ...)` sees every program.

# The Debian revision and the maintainer come from the changelog's last entry, as in any Debian
# package; its version must be this project's (the packaging check compares them).
set (changelog ${CMAKE_CURRENT_LIST_DIR}/changelog.Debian)
file (STRINGS ${changelog} changelog_head LIMIT_COUNT 1)
if (NOT changelog_head MATCHES "^flashwell \\(([^)]+)-([^)-]+)\\) ")
    message (FATAL_ERROR "${changelog}: the last entry is not \"flashwell (VERSION-REVISION) ...\"")
endif()
set (changelog_upstream ${CMAKE_MATCH_1})
set (changelog_revision ${CMAKE_MATCH_2})
file (STRINGS ${changelog} changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if (NOT changelog_trailer MATCHES "^ -- ([^<]+<[^>]+>)  ")
    message (FATAL_ERROR "${changelog}: the last entry has no \" -- NAME <ADDRESS>  DATE\" line")
endif()
set (changelog_maintainer ${CMAKE_MATCH_1})
if (NOT changelog_upstream STREQUAL PROJECT_VERSION)
    message (WARNING "${changelog} ends at version ${changelog_upstream}, the project is at ${PROJECT_VERSION}: add an entry")
endif()

# Some of the install directories are worked out per directory, not cached.
include (GNUInstallDirs)
set (CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
     OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set (CPACK_COMPONENTS_ALL flashwell)

# --- the standalone pedal emulator, for trying an update without hardware -------------------
if (TARGET flashwell-pedal)
    install (TARGETS flashwell-pedal RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT pedal)
    install (FILES ${PROJECT_BINARY_DIR}/packaging/flashwell-pedal.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT pedal)
    install (FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
             DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/flashwell-pedal COMPONENT pedal)
    list (APPEND CPACK_COMPONENTS_ALL pedal)
endif()

set (CPACK_GENERATOR DEB)
# The descriptions hold quotes: CPack must write the values into its configuration as they are.
# Their first line is the package's synopsis, the rest its long description.
set (CPACK_VERBATIM_VARIABLES ON)
set (CPACK_PACKAGE_NAME flashwell)
set (CPACK_PACKAGE_VENDOR Oxbay)
set (CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set (CPACK_PACKAGE_CONTACT "${changelog_maintainer}")
set (CPACK_PACKAGING_INSTALL_PREFIX /usr)
set (CPACK_STRIP_FILES ON)
set (CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set (CPACK_DEB_COMPONENT_INSTALL ON)

set (CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set (CPACK_DEBIAN_PACKAGE_RELEASE ${changelog_revision})
set (CPACK_DEBIAN_PACKAGE_MAINTAINER "${changelog_maintainer}")
set (CPACK_DEBIAN_PACKAGE_SECTION sound)
set (CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set (CPACK_DEBIAN_PACKAGE_SOURCE flashwell)
# The libraries the programs link come from dpkg-shlibdeps.
set (CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set (CPACK_DEBIAN_FLASHWELL_PACKAGE_NAME flashwell)
# JUCE opens libX11 and libXext with dlopen, which dpkg-shlibdeps cannot see; the cursor and
# screen extensions it uses when present. Text needs fonts.conf and one of the fonts JUCE
# looks for first.
set (CPACK_DEBIAN_FLASHWELL_PACKAGE_DEPENDS
     "libx11-6, libxext6, fontconfig-config, fonts-dejavu-core | fonts-liberation2 | fonts-liberation")
set (CPACK_DEBIAN_FLASHWELL_PACKAGE_RECOMMENDS "libxcursor1, libxinerama1, libxrandr2")
set (CPACK_COMPONENT_FLASHWELL_DESCRIPTION
     "firmware updater for the Bramblet guitar pedal
Flashwell installs the firmware built into it on a Bramblet guitar pedal
connected by USB. The pedal appears to the computer as a MIDI device:
Flashwell finds it among the MIDI ports, streams the firmware to it as
paced SysEx messages, waits for it to restart and checks the firmware
revision it then reports.
.
Start the pedal in its boot mode and click \"update\" in Flashwell's
window, or run \"flashwell --autoupdate\" from a script and read the exit
status. The program reads no files, keeps no settings and uses no network.")

if (TARGET flashwell-pedal)
    set (CPACK_DEBIAN_PEDAL_PACKAGE_NAME flashwell-pedal)
    set (CPACK_DEBIAN_PEDAL_PACKAGE_RECOMMENDS flashwell)
    set (CPACK_COMPONENT_PEDAL_DESCRIPTION
         "emulated Bramblet pedal for trying Flashwell without hardware
flashwell-pedal creates MIDI ports on the computer that behave as a
Bramblet guitar pedal in its boot mode: it answers Flashwell's requests,
takes the firmware update, restarts under a new port name and reports
the new firmware revision. Switches on its command line make it fail in
the ways a real pedal can, and it writes a report of what it received.
.
Run it beside flashwell to try an update, or the unattended mode, without
a pedal.")
endif()

include (CPack)
