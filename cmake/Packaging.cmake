# The Debian package that `make package` builds: vividra_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vividra)
set(CPACK_PACKAGE_VENDOR "Vividra")
set(CPACK_PACKAGE_CONTACT "Vividra maintainers <maintainers@vividra.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "colour-splash photo editor")
# Where the program was built to find its data; `make package` configures /usr.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Below the summary; CPack indents each line as the control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vividra makes colour-splash pictures: a black and white photograph in which\n\
one subject keeps its colour. Each of the two layers gets its own look (black\n\
and white, colour looks, sepia, blur, oil painting, sketch) under shared tonal\n\
adjustments, and a round brush paints the foreground through the background.\n\
The vividra-fx command applies the same filters and saved profiles to many\n\
pictures from the command line.")

# The libraries the binaries link come from dpkg-shlibdeps. Qt opens some plugins itself at
# run time, out of its sight: TIFF pictures need the image-formats plugins. The others ship in
# packages shlibdeps names anyway: the xcb platform plugin in libqt6gui6, the SVG icon engine
# in libqt6svg6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-image-formats-plugins, libopencv-imgproc406, libopencv-core406")
# The help page opens in the desktop's browser; Wayland sessions want Qt's own plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
