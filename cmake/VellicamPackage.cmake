# The Debian package: `cpack -G DEB` in the build folder makes vellicam_<version>_<architecture>.deb of what
# `cmake --install` puts in place, under /usr.
set(CPACK_PACKAGE_NAME vellicam)
set(CPACK_PACKAGE_VENDOR "The Vellicam developers")
set(CPACK_PACKAGE_CONTACT "Vellicam developers <vellicam@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns portrait snapshots into ID photographs and print sheets")
# The long description as Debian shows it: lines of at most 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Vellicam opens a portrait photo, finds the face and proposes a crop frame from"
    "above the top of the head to below the chin. The photo can be straightened and"
    "the frame adjusted by hand; a print sheet of four 30 x 40 mm photographs with"
    "crop marks and a scale is composed on an L-size page, saved as JPEG or as a PDF"
    "of the paper's size, and printed at its exact size. Whole folders can be worked"
    "through. The interface is Japanese."
    "vellicam-cli runs the same image operations from a shell.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The shared libraries the programs and the detector link (Qt, OpenCV, dlib, libjpeg-turbo, libpng) are found by
# dpkg-shlibdeps; what is only opened by path is named here: the face model data and the Japanese font the windows
# are drawn with. The cascades are copied into the package, so opencv-data is not needed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libdlib-data, fonts-ipafont-gothic")
# The licence, the notices of the works of others it carries or uses, and the copyright file in Debian's format,
# where Debian keeps them (an install into any other prefix gets them in the same place under it).
set(VELLICAM_INSTALL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vellicam)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD_PARTY_NOTICES
    ${PROJECT_SOURCE_DIR}/data/debian/copyright DESTINATION ${VELLICAM_INSTALL_DOC_DIR})
include(CPack)
