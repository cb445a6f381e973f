# Applies QUORVEL_SANITIZERS to every target of the build, JUCE's module code included, so that
# instrumented and uninstrumented code never mix.
if (QUORVEL_SANITIZERS)
    add_compile_options (-fsanitize=${QUORVEL_SANITIZERS} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options (-fsanitize=${QUORVEL_SANITIZERS})
endif()

if (QUORVEL_BUILD_FUZZERS)
    if (NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message (FATAL_ERROR "The fuzzers need clang (configure with CXX=clang++ CC=clang)")
    endif()

    add_compile_options (-fsanitize=fuzzer-no-link)
endif()
