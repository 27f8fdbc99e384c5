# The Debian package: `cpack -G DEB` in a build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillon <quillon@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sound recorder with live effects, oscilloscope and spectrum")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillon records from any capture device of the sound server (monitors included) into WAV
files, PCM or compressed, through live effects (amplifier, echo, phase shifter, 7-band
equalizer), showing an oscilloscope, a spectrum and level meters. Recordings are numbered
automatically and can be played back at once. quillon-cli records and processes files
without the window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries we link come from dpkg-shlibdeps; these are loaded at run time: GStreamer for
# listen-back (its PulseAudio sink is in -good), and a font for the Chinese texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, fonts-wqy-microhei | fonts-noto-cjk")
# A sound server may also be reached over the network (PULSE_SERVER); Wayland sessions
# want Qt's plugin; xdg-open shows the help page and the recordings' folder.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, qt6-wayland, xdg-utils")
include(CPack)
