# Installation: the library with its SONAME links, the header, the tools,
# the man pages, a CMake package (find_package(decomprima CONFIG) gives
# decomprima::decomprima) and decomprima.pc, all in the GNUInstallDirs
# places and all relocatable: nothing installed names the prefix it was
# installed under. Components: "runtime" (what running a host needs) and
# "development" (what building one needs); the packages follow them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(DECOMPRIMA_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/decomprima" CACHE STRING
  "Where the CMake package goes, relative to the prefix")
mark_as_advanced(DECOMPRIMA_INSTALL_CMAKEDIR)

# Inside this build, consumers link the same name they get from the package.
add_library(decomprima::decomprima ALIAS decomprima)
target_include_directories(decomprima PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(decomprima PROPERTIES PUBLIC_HEADER include/decomprima.h)

install(TARGETS decomprima EXPORT decomprima_targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT runtime NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

# The tools find the library next to them (bin/../lib), wherever the tree
# is unpacked.
file(RELATIVE_PATH decomprima_bin_to_lib
  "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
foreach(tool decomprima_cli decomprima_encode)
  if(TARGET ${tool})
    set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${decomprima_bin_to_lib}")
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  endif()
endforeach()

if(TARGET decomprima_cli)
  install(FILES man/decomprima.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endif()
if(TARGET decomprima_encode)
  install(FILES man/decomprima-encode.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endif()
install(FILES man/decomprima.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT development)

# CMake package.
install(EXPORT decomprima_targets
  NAMESPACE decomprima::
  FILE decomprimaTargets.cmake
  DESTINATION ${DECOMPRIMA_INSTALL_CMAKEDIR}
  COMPONENT development)
configure_package_config_file(cmake/decomprimaConfig.cmake.in
  "${PROJECT_BINARY_DIR}/decomprimaConfig.cmake"
  INSTALL_DESTINATION ${DECOMPRIMA_INSTALL_CMAKEDIR})
# 1.x hosts keep working with any later 1.y: the ABI is the one function.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/decomprimaConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/decomprimaConfig.cmake"
  "${PROJECT_BINARY_DIR}/decomprimaConfigVersion.cmake"
  DESTINATION ${DECOMPRIMA_INSTALL_CMAKEDIR}
  COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own directory, so
# the tree can move. Directories given as absolute paths stay absolute.
set(decomprima_pc_dir "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(decomprima_pc_prefix "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH decomprima_pc_to_prefix
    "/prefix/${decomprima_pc_dir}" "/prefix")
  string(REGEX REPLACE "/$" "" decomprima_pc_to_prefix "${decomprima_pc_to_prefix}")
  set(decomprima_pc_prefix "\${pcfiledir}/${decomprima_pc_to_prefix}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  string(TOLOWER ${dir} name)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(decomprima_pc_${name} "${CMAKE_INSTALL_${dir}}")
  else()
    set(decomprima_pc_${name} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(cmake/decomprima.pc.in "${PROJECT_BINARY_DIR}/decomprima.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/decomprima.pc"
  DESTINATION ${decomprima_pc_dir} COMPONENT development)
