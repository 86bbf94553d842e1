# Where each deliverable goes on `cmake --install` (and so in the .deb).
#
#   bin/vantrel                         -> relative link to the console in its private folder
#   bin/modemsim                           the simulator
#   bin/kelbrin-ports                      finds modems and writes the library's port map
#   <libdir>/vantrel/vantrel               the console (RUNPATH $ORIGIN)
#   <libdir>/vantrel/libkelbrin.so      -> ../libkelbrin.so.1, what the console opens by bare name
#   <libdir>/libkelbrin.so.1.0.0           the one copy of the library, with its SONAME link,
#   <libdir>/libkelbrin.so.1               for other programs that use kelbrin.h
#   include/kelbrin.h
#   share/modemsim/demo.scenario           a copy of the built-in demo, to read or start from
#   share/applications/vantrel.desktop
#   share/icons/hicolor/<N>x<N>/apps/vantrel.png
#   share/man/man1/{vantrel,modemsim,kelbrin-ports}.1.gz   from packaging/man/, compressed at build time
#   share/man/zh_CN/man1/kelbrin-ports.1.gz                 from packaging/man/zh_CN/, likewise
#   share/doc/vantrel/{copyright,changelog.gz} and share/lintian/overrides/vantrel, from packaging/
#
# Every install() names its COMPONENT: library (the shared library and programs shipped with it),
# development (the header), console, simulator, documentation. The .deb holds them all; another
# program goes into the component of the part it belongs to, and its manual page in
# packaging/man/ is installed with vantrel_install_man_page(<page> <component>), a translation in
# packaging/man/<locale>/ with vantrel_install_man_page(<locale>/<page> <component>).
#
# The console's folder is private so that its bare-name dlopen finds the library through $ORIGIN
# before anything in the system's search path. glibc takes $ORIGIN from the resolved executable,
# so the link in bin/ still leads there.
#
# No libkelbrin.so namelink in the public libdir: ldconfig would put the bare name in its cache,
# and then every bare-name dlopen on the machine (a console with no library beside it, the
# "library missing" test) would silently get the system copy. Other programs load
# "libkelbrin.so.1" (ctypes.util.find_library("kelbrin") finds it) or link with -l:libkelbrin.so.1.
include(GNUInstallDirs)

set(VANTREL_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/vantrel)

install(TARGETS kelbrin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP
    COMPONENT library)
install(FILES ${PROJECT_SOURCE_DIR}/kelbrin/include/kelbrin.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

install(TARGETS vantrel RUNTIME DESTINATION ${VANTREL_PRIVATE_LIBDIR} COMPONENT console)

# The two links are made here once and installed as links (install(FILES) keeps a symlink).
set(install_links_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${install_links_dir}/bin ${install_links_dir}/private)
file(RELATIVE_PATH console_from_bindir
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/vantrel/vantrel)
file(CREATE_LINK ${console_from_bindir} ${install_links_dir}/bin/vantrel SYMBOLIC)
get_target_property(kelbrin_soversion kelbrin SOVERSION)
file(CREATE_LINK ../libkelbrin.so.${kelbrin_soversion}
    ${install_links_dir}/private/libkelbrin.so SYMBOLIC)
install(FILES ${install_links_dir}/bin/vantrel DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT console)
install(FILES ${install_links_dir}/private/libkelbrin.so DESTINATION ${VANTREL_PRIVATE_LIBDIR}
    COMPONENT console)

install(TARGETS modemsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator)
install(TARGETS kelbrin-ports RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library)
install(FILES ${PROJECT_SOURCE_DIR}/modemsim/scenarios/demo.scenario
    DESTINATION ${CMAKE_INSTALL_DATADIR}/modemsim COMPONENT simulator)

install(FILES ${PROJECT_SOURCE_DIR}/res/vantrel.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT console)
foreach(size 16 32 48 64 128)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/vantrel-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME vantrel.png COMPONENT console)
endforeach()

# Manual pages and the Debian changelog are installed gzip-compressed (-n: no name or time stamp
# inside, so the package's bytes depend on the sources only).
set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
add_custom_target(compressed_docs ALL)
# The copy keeps its path below packaging/, so a page and its translation do not collide.
function(vantrel_install_compressed source destination component)
    file(RELATIVE_PATH name ${packaging_dir} ${source})
    set(copy ${CMAKE_BINARY_DIR}/compressed-docs/${name})
    get_filename_component(copy_dir ${copy} DIRECTORY)
    string(MAKE_C_IDENTIFIER ${name} target_name)
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${copy_dir}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
        COMMAND gzip -9nf ${copy}
        DEPENDS ${source} VERBATIM)
    add_custom_target(compressed_${target_name} DEPENDS ${copy}.gz)
    add_dependencies(compressed_docs compressed_${target_name})
    install(FILES ${copy}.gz DESTINATION ${destination} COMPONENT ${component})
endfunction()
function(vantrel_install_man_page page component)
    get_filename_component(locale ${page} DIRECTORY)
    if(locale)
        set(section_dir ${CMAKE_INSTALL_MANDIR}/${locale}/man1)
    else()
        set(section_dir ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
    vantrel_install_compressed(${packaging_dir}/man/${page} ${section_dir} ${component})
endfunction()

vantrel_install_man_page(vantrel.1 console)
vantrel_install_man_page(modemsim.1 simulator)
vantrel_install_man_page(kelbrin-ports.1 library)
vantrel_install_man_page(zh_CN/kelbrin-ports.1 library)
set(package_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantrel)
vantrel_install_compressed(${packaging_dir}/changelog ${package_docdir} documentation)
install(FILES ${packaging_dir}/copyright DESTINATION ${package_docdir} COMPONENT documentation)
install(FILES ${packaging_dir}/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME vantrel
    COMPONENT documentation)
