# Our own code builds clean under JUCE's recommended warnings; CI makes them errors.
function (vesk2_set_warnings target)
    target_link_libraries (${target} PRIVATE juce::juce_recommended_warning_flags)
    if (VESK2_WARNINGS_AS_ERRORS)
        target_compile_options (${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Werror>)
    endif()
endfunction()
