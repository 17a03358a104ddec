# Installing: programs, libraries with their C headers and pkg-config files,
# the second-make driver, and the desktop files (packaging/).
#
# `cmake --install build [--prefix DIR]` (DESTDIR honoured) gives the usual
# tree: programs in bin, libraries in the library folder (lib or
# lib/<multiarch>), headers in include/tagging. The installed tree can be
# moved as a whole: programs find the libraries relative to their own
# folder, the libraries each other and the driver in theirs.
include(GNUInstallDirs)

set(TAGGING_INCLUDE_SUBDIR tagging)
set(TAGGING_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/tagging-workstation)

if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(TAGGING_PROGRAM_RPATH "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH _tagging_bin_to_lib "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")
  set(TAGGING_PROGRAM_RPATH "$ORIGIN/${_tagging_bin_to_lib}")
endif()

# tagging_install_program(<target>): into bin, finding the libraries from there.
function(tagging_install_program target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${TAGGING_PROGRAM_RPATH}")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# tagging_install_library(<target> [HEADERS file...] [PKGCONFIG name DESCRIPTION text])
# A shared library with its SONAME (lib<name>.so.<major>), into the library
# folder; its public C headers into include/tagging, and a pkg-config file
# when PKGCONFIG names one. Without HEADERS the library is a private one of
# the programs: no development link.
function(tagging_install_library target)
  cmake_parse_arguments(L "" "PKGCONFIG;DESCRIPTION" "HEADERS" ${ARGN})
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    INSTALL_RPATH "$ORIGIN")
  if(L_HEADERS)
    install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
    install(FILES ${L_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${TAGGING_INCLUDE_SUBDIR})
  else()
    install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
  endif()
  if(L_PKGCONFIG)
    tagging_install_pkgconfig(${L_PKGCONFIG} $<TARGET_FILE_BASE_NAME:${target}> "${L_DESCRIPTION}")
  endif()
endfunction()

# The .pc file is written at install time, so that it names the prefix the
# tree is installed under (cmake --install --prefix, or /usr in the package).
function(tagging_install_pkgconfig name library description)
  foreach(dir LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
      set(pc_${dir} "${CMAKE_INSTALL_${dir}}")
    else()
      set(pc_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
    endif()
  endforeach()
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc.cmake CONTENT "
set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
set(PC_LIBDIR [[${pc_LIBDIR}]])
set(PC_INCLUDEDIR [[${pc_INCLUDEDIR}/${TAGGING_INCLUDE_SUBDIR}]])
set(PC_NAME [[${name}]])
set(PC_DESCRIPTION [[${description}]])
set(PC_VERSION [[${PROJECT_VERSION}]])
set(PC_LIBRARY [[${library}]])
configure_file([[${PROJECT_SOURCE_DIR}/packaging/library.pc.in]] [[${generated}]] @ONLY)
")
  install(SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc.cmake)
  install(FILES ${generated} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
