# VANTREL_HARDENING (on in the release preset, and so in the package): the hardening a Debian
# maintainer's build gets from `DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags` for C and
# C++, so that lintian and hardening-check (devscripts) find nothing to note in the package:
#   -D_FORTIFY_SOURCE=2           checked libc string and memory calls (needs optimisation: not in
#                                 a Debug build, where glibc's warning would be an error)
#   -fstack-protector-strong      stack canaries
#   -fstack-clash-protection      large stack frames probed page by page (where the compiler has it)
#   -fcf-protection               CET branch and return tracking (x86; arm64 has
#                                 -mbranch-protection=standard instead)
#   -Wformat -Werror=format-security
#   -Wl,-z,relro -Wl,-z,now       relocations read-only after start-up, bound at once
#   PIE                           every executable position-independent
option(VANTREL_HARDENING "Build with Debian's hardening flags (dpkg-buildflags, hardening=+all)" OFF)

if(VANTREL_HARDENING)
    include(CheckCXXCompilerFlag)
    include(CheckPIESupported)
    set(hardening_compile_options
        $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>
        -fstack-protector-strong
        -Wformat -Werror=format-security)
    foreach(flag -fstack-clash-protection -fcf-protection -mbranch-protection=standard)
        string(MAKE_C_IDENTIFIER "vantrel_has${flag}" supported)
        check_cxx_compiler_flag(${flag} ${supported})
        if(${supported})
            list(APPEND hardening_compile_options ${flag})
        endif()
    endforeach()
    add_compile_options(${hardening_compile_options})
    add_link_options(-Wl,-z,relro -Wl,-z,now)
    check_pie_supported(LANGUAGES C CXX)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
