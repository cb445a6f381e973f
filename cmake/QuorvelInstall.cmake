# Installation rules and the Debian package.
#
#   <prefix>/bin/Quorvel                                   the standalone program (named as
#                                                          musicians see it in the window title)
#   <prefix>/share/applications/quorvel.desktop            its menu entry
#   <prefix>/share/icons/hicolor/scalable/apps/quorvel.svg its icon
#   <prefix>/share/doc/quorvel/manual.html                 the manual, where the program and the
#                                                          plug-ins look for it
#   <prefix>/lib/clap/Quorvel.clap                         the plug-ins, where hosts look for them
#   <prefix>/lib/vst3/Quorvel.vst3/
#   <prefix>/lib/lv2/Quorvel.lv2/
#
# Two components: "program" (the standalone program and its files) and "plugins" (the three
# plug-ins), so that scripts/install-plugins can install the plug-ins alone. The package holds
# both.

set (quorvel_artefacts "${CMAKE_BINARY_DIR}/Quorvel_artefacts/$<CONFIG>")
set (quorvel_vst3_binary_folder "Contents/${JUCE_TARGET_ARCHITECTURE}-linux")

install (TARGETS Quorvel_Standalone
         RUNTIME DESTINATION bin COMPONENT program)
install (FILES packaging/quorvel.desktop
         DESTINATION share/applications COMPONENT program)
install (FILES packaging/quorvel.svg
         DESTINATION share/icons/hicolor/scalable/apps COMPONENT program)
install (FILES docs/manual.html
         DESTINATION share/doc/quorvel COMPONENT program)

install (TARGETS Quorvel_CLAP
         LIBRARY DESTINATION lib/clap COMPONENT plugins)

# The bundles' folders come as the framework built them; their libraries go through
# install (TARGETS) so that they lose the build tree's RPATH like every other binary.
if (TARGET Quorvel_VST3 AND TARGET Quorvel_LV2)
    install (DIRECTORY "${quorvel_artefacts}/VST3/Quorvel.vst3"
             DESTINATION lib/vst3 COMPONENT plugins
             PATTERN "*.so" EXCLUDE)
    install (TARGETS Quorvel_VST3
             LIBRARY DESTINATION "lib/vst3/Quorvel.vst3/${quorvel_vst3_binary_folder}" COMPONENT plugins)

    install (DIRECTORY "${quorvel_artefacts}/LV2/Quorvel.lv2"
             DESTINATION lib/lv2 COMPONENT plugins
             PATTERN "*.so" EXCLUDE)
    install (TARGETS Quorvel_LV2
             LIBRARY DESTINATION lib/lv2/Quorvel.lv2 COMPONENT plugins)
endif()

# The Debian package: quorvel_<version>_amd64.deb in the build folder, built by scripts/package.
set (CPACK_GENERATOR DEB)
set (CPACK_PACKAGE_NAME quorvel)
set (CPACK_PACKAGE_VENDOR "Varrow")
set (CPACK_PACKAGE_CONTACT "Varrow")
set (CPACK_PACKAGE_DESCRIPTION_SUMMARY "Always-recording audio capture: drag the last seconds out as WAV")
set (CPACK_PACKAGE_DESCRIPTION [[
Quorvel keeps the last seconds of its input in a rolling buffer while passing
the input straight through, draws them as a live waveform and writes any
selected region as a WAV file that can be dragged onto a DAW track or into a
file manager. It comes as a standalone program and as CLAP, VST3 and LV2
plug-ins.]])
set (CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
# Packaging and installing build nothing: scripts/package builds the four targets one at a time
# first, instead of everything at once.
set (CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set (CPACK_PACKAGING_INSTALL_PREFIX /usr)
set (CPACK_STRIP_FILES ON)

set (CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set (CPACK_DEBIAN_PACKAGE_NAME quorvel)
set (CPACK_DEBIAN_PACKAGE_MAINTAINER "Varrow")
set (CPACK_DEBIAN_PACKAGE_SECTION sound)
set (CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set (CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# dpkg-shlibdeps finds the libraries the binaries link; the framework opens the X11 libraries
# with dlopen, so those are named here. A font is needed for any text to show.
set (CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string (JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS
        libx11-6 libxext6 libxcursor1 libxinerama1 libxrandr2 libxrender1
        libfreetype6 libasound2 libgl1 fonts-dejavu-core)
# The folder chooser runs zenity or kdialog, "Open Online Manual" runs xdg-open, and the
# standalone program's JACK back-end opens libjack when chosen.
string (JOIN ", " CPACK_DEBIAN_PACKAGE_RECOMMENDS
        "zenity | kdialog" xdg-utils "libjack-jackd2-0 | libjack0")

include (CPack)
