# quorvel_link_shared_code (<target>)
# Links a test, benchmark or host target against the shared code the way JUCE's own plug-in
# wrappers do: the same module headers and the same preprocessor definitions.
function (quorvel_link_shared_code target)
    target_link_libraries (${target} PRIVATE Quorvel)
    target_include_directories (${target} PRIVATE $<TARGET_PROPERTY:Quorvel,INCLUDE_DIRECTORIES>)
    target_compile_definitions (${target} PRIVATE $<TARGET_PROPERTY:Quorvel,COMPILE_DEFINITIONS>)
endfunction()
