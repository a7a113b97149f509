# Packages (cpack, or the "package" workflow preset): two Debian packages
# split like the install components, and one .tar.gz holding both.
#   decomprima      the shared library, the command-line tools, their man pages
#   decomprima-dev  the header, the .so link, the CMake package, decomprima.pc,
#                   decomprima(3); depends on the same version of decomprima
set(CPACK_PACKAGE_NAME decomprima)
set(CPACK_PACKAGE_VENDOR "decomprima developers")
set(CPACK_PACKAGE_CONTACT "decomprima developers <decomprima@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_STRIP_FILES ON)

# The archive is one relocatable tree with every component in it.
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")

set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_COMPONENT_RUNTIME_DISPLAY_NAME "Library and command-line tools")
set(CPACK_COMPONENT_DEVELOPMENT_DISPLAY_NAME "Header and build files")
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME decomprima)
# Both packages take their synopsis from the project's description.
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "The shared library libdecomprima.so.1 with its one function, decomprima(),
the command-line host decomprima and the encoder decomprima-encode.")
# dpkg-shlibdeps works out the C and C++ runtime dependencies; the shlibs
# file lets packages built against this one do the same, and the generated
# maintainer scripts run ldconfig.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME decomprima-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "Development files: the C header decomprima.h, the link libdecomprima.so,
the CMake package (find_package(decomprima CONFIG), target
decomprima::decomprima), the pkg-config file decomprima.pc and the manual
page decomprima(3).")

include(CPack)
