# Installing Hydrosk (`cmake --install`, `make install`) and its Debian packages (`make
# package`, CPack): hydrosk with the window, the command line, the example, the manual pages,
# the desktop entries, the icon and the completion; hydrosk-mpi with the cluster runner, so
# that a desktop needs no MPI runtime.
include(GNUInstallDirs)
set(HYDROSK_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
# The installed layout: programs in bin/, their data in share/hydrosk/ (an installed program
# recognises it and keeps its settings in the user's configuration folder).
set(HYDROSK_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/hydrosk)
# Documentation under the package's name (GNUInstallDirs would take the project's, "Hydrosk").
set(HYDROSK_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/hydrosk)

foreach(program hydrosk hydrosk-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT hydrosk)
  endif()
endforeach()
install(FILES examples/town.inp DESTINATION ${HYDROSK_INSTALL_DATADIR}/examples
        COMPONENT hydrosk)
install(FILES README.md DESTINATION ${HYDROSK_INSTALL_DOCDIR} COMPONENT hydrosk)
install(FILES ${HYDROSK_PACKAGING}/copyright DESTINATION ${HYDROSK_INSTALL_DOCDIR}
        COMPONENT hydrosk)
install(FILES ${HYDROSK_PACKAGING}/hydrosk.desktop ${HYDROSK_PACKAGING}/hydrosk-results.desktop
              ${HYDROSK_PACKAGING}/hydrosk-study.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT hydrosk)
install(FILES ${HYDROSK_PACKAGING}/hydrosk-results.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT hydrosk)
install(FILES ui/resources/icon.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME hydrosk.svg COMPONENT hydrosk)
install(FILES ${HYDROSK_PACKAGING}/hydrosk-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME hydrosk-cli
        COMPONENT hydrosk)
if(TARGET hydrosk-mpi)
  install(TARGETS hydrosk-mpi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT mpi)
  install(FILES ${HYDROSK_PACKAGING}/hydrosk-cli.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME hydrosk-mpi
          COMPONENT mpi)
  install(FILES ${HYDROSK_PACKAGING}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/hydrosk-mpi
          COMPONENT mpi)
endif()

# Manual pages from each program's --help and --version (help2man), with the sections of
# packaging/<program>.h2m and, for the command lines, every subcommand's --help.
find_program(HYDROSK_HELP2MAN help2man)
if(NOT HYDROSK_HELP2MAN)
  message(WARNING "help2man is missing (Debian: help2man): no manual pages are built")
endif()
set(HYDROSK_MAN_PAGES "")
function(hydrosk_man_page program component summary)
  if(NOT HYDROSK_HELP2MAN OR NOT TARGET ${program})
    return()
  endif()
  set(dir ${CMAKE_BINARY_DIR}/man)
  set(includes --include=${HYDROSK_PACKAGING}/${program}.h2m)
  set(steps "")
  if(program STREQUAL "hydrosk")
    # Qt prints the application's name, "Hydrosk"; the page is named after the command.
    list(APPEND includes --version-string=${PROJECT_VERSION})
  else()
    list(APPEND includes --include=${dir}/${program}-commands.h2m)
    set(steps COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
              ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
              -DOUTPUT=${dir}/${program}-commands.h2m -P ${HYDROSK_PACKAGING}/command_help.cmake)
  endif()
  add_custom_command(
    OUTPUT ${dir}/${program}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    ${steps}
    # The window's program answers --help without a display; in a sanitizer build, leaks are
    # the tests' business, not the build's.
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            ${HYDROSK_HELP2MAN} --no-info --section=1 --name=${summary} ${includes}
            --output=${dir}/${program}.1 $<TARGET_FILE:${program}>
    COMMAND gzip -9nf ${dir}/${program}.1
    DEPENDS ${program} ${HYDROSK_PACKAGING}/${program}.h2m ${HYDROSK_PACKAGING}/command_help.cmake
    VERBATIM)
  add_custom_target(${program}-man ALL DEPENDS ${dir}/${program}.1.gz)
  install(FILES ${dir}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT ${component})
endfunction()
hydrosk_man_page(hydrosk hydrosk "fire-flow analysis of EPANET networks")
hydrosk_man_page(hydrosk-cli hydrosk "fire-flow analysis of EPANET networks, command line")
hydrosk_man_page(hydrosk-mpi mpi "fire-flow analysis of EPANET networks on MPI clusters")

# The Debian packages: hydrosk_<version>-1_<arch>.deb and hydrosk-mpi_..., their library
# dependencies found by dpkg-shlibdeps, plus what the programs load at run time without
# linking it: Qt's platform plugins, the window's font, and mpirun.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME hydrosk)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description, its first line the synopsis (CPack would put a package-wide
# CPACK_PACKAGE_DESCRIPTION_SUMMARY above both, so that is left unset).
set(CPACK_DEBIAN_HYDROSK_DESCRIPTION "fire-flow analysis of EPANET water-distribution networks
For every junction of a network given as an EPANET INP file, Hydrosk finds
the fire flow it can draw before some junction's pressure falls below its
minimum (steady state), or how long it can draw a required flow and which
flow it can draw for a required time (extended period), with its own
EPANET 2.2-compatible hydraulic engine. A desktop window, a results viewer
with a table and a map of the network, and a command line (hydrosk-cli).")
set(CPACK_DEBIAN_MPI_DESCRIPTION "fire-flow analysis of EPANET networks on MPI clusters
hydrosk-mpi runs the fire-flow analyses of hydrosk-cli on the processes of
an MPI job (mpirun, srun): rank 0 hands out the junctions and writes the
results file, which is byte for byte the one of a single process.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL hydrosk)
if(TARGET hydrosk-mpi)
  list(APPEND CPACK_COMPONENTS_ALL mpi)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Corvane <support@corvane.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvane.example/")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_HYDROSK_PACKAGE_NAME hydrosk)
set(CPACK_DEBIAN_HYDROSK_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2")
set(CPACK_DEBIAN_HYDROSK_PACKAGE_SUGGESTS "hydrosk-mpi")
set(CPACK_DEBIAN_MPI_PACKAGE_NAME hydrosk-mpi)
set(CPACK_DEBIAN_MPI_PACKAGE_DEPENDS "openmpi-bin")
include(CPack)
