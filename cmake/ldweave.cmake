# ldweave_linker_script: generates a target's GNU ld linker script with ldweave at build time and
# links the target with it.
#
#   ldweave_linker_script(<target>
#       MEMORY_MAP <file> | SEGMENTS <"NAME ACCESS START SIZE">...
#       [PLACEMENT <file>]
#       [MEMORY_MAP_MACROS <NAME=VALUE>...]
#       [PLACEMENT_MACROS <NAME=VALUE>...]
#       [SYMBOLS <NAME=VALUE>...]
#       [CHECK_SEGMENT_OVERFLOW]
#       [DEFAULT_FILL_PATTERN <pattern>]
#       [NO_DIAGNOSTICS | STRICT]
#       [ENTRY <symbol>]
#       [INCLUDE_PATH <folder>...]
#       [OUTPUT <file>]
#       [MEMORY_USAGE]
#       [MAX_USAGE <percent>])
#
# The tool runs with -diagnostics, so the build shows its warnings about the inputs (each with
# the file and line to change); NO_DIAGNOSTICS leaves them out, STRICT makes any of them fail
# the build. The folder of the runtime fragments that ship with ldweave (newlib-cortex-m.xml,
# ...) is always searched last, so a placement file includes them by name alone.
#
# MEMORY_USAGE runs ldweave-size on the target after every link (POST_BUILD) with the same
# memory map options, so the build shows how full each memory segment is. MAX_USAGE <percent>
# runs it too and fails the build when a segment is fuller than percent (0 to 100, at most two
# decimals); the table is printed then as well, so a failed build shows what filled up. The
# program is ldweave::ldweave-size, found like ldweave::ldweave below.
#
# Relative input paths are taken from the current source folder; OUTPUT defaults to
# <target>.ld in the current binary folder. The script is regenerated when the memory map, the
# placement file or any file they include or import changes (through a dependency file), and
# the target is relinked when the script's content changes. The tool is the executable target
# ldweave::ldweave: the imported one of the installed package (find_package(ldweave)), or, when
# ldweave is part of the same build (add_subdirectory), the alias of its ldweave target, which
# is then built before the script is generated.

function(ldweave_linker_script target)
    cmake_parse_arguments(PARSE_ARGV 1 arg
        "CHECK_SEGMENT_OVERFLOW;NO_DIAGNOSTICS;STRICT;MEMORY_USAGE"
        "MEMORY_MAP;PLACEMENT;DEFAULT_FILL_PATTERN;ENTRY;OUTPUT;MAX_USAGE"
        "SEGMENTS;MEMORY_MAP_MACROS;PLACEMENT_MACROS;SYMBOLS;INCLUDE_PATH")
    if(arg_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "ldweave_linker_script: unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT TARGET ${target})
        message(FATAL_ERROR "ldweave_linker_script: no target named '${target}'")
    endif()
    if(NOT TARGET ldweave::ldweave)
        message(FATAL_ERROR "ldweave_linker_script: ldweave::ldweave is not defined; "
                            "use find_package(ldweave) or add_subdirectory of its sources")
    endif()
    if(NOT arg_MEMORY_MAP AND NOT arg_SEGMENTS)
        message(FATAL_ERROR "ldweave_linker_script: MEMORY_MAP or SEGMENTS is required")
    endif()
    if(arg_NO_DIAGNOSTICS AND arg_STRICT)
        message(FATAL_ERROR "ldweave_linker_script: NO_DIAGNOSTICS and STRICT exclude each other")
    endif()

    if(arg_OUTPUT)
        cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
                   OUTPUT_VARIABLE output)
    else()
        set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}.ld")
    endif()
    set(depfile "${output}.d")

    # The memory map options, which ldweave-size takes as ldweave does.
    set(memory_map_options)
    set(inputs)
    if(arg_MEMORY_MAP)
        cmake_path(ABSOLUTE_PATH arg_MEMORY_MAP OUTPUT_VARIABLE memory_map)
        list(APPEND memory_map_options -memory-map-file "${memory_map}")
        list(APPEND inputs "${memory_map}")
    else()
        # The segment list is one argument with ";" between the segments; in a custom command a
        # literal ";" must be written as $<SEMICOLON>.
        list(JOIN arg_SEGMENTS "$<SEMICOLON>" segments)
        list(APPEND memory_map_options -memory-map-segments "${segments}")
    endif()
    foreach(macro IN LISTS arg_MEMORY_MAP_MACROS)
        list(APPEND memory_map_options -memory-map-macros "${macro}")
    endforeach()
    set(include_options)
    foreach(folder IN LISTS arg_INCLUDE_PATH)
        cmake_path(ABSOLUTE_PATH folder OUTPUT_VARIABLE folder)
        list(APPEND include_options -include-path "${folder}")
    endforeach()
    get_property(runtime_dir GLOBAL PROPERTY LDWEAVE_RUNTIME_DIR)
    if(runtime_dir)
        list(APPEND include_options -include-path "${runtime_dir}")
    endif()

    set(command ldweave::ldweave ${memory_map_options})
    if(arg_PLACEMENT)
        cmake_path(ABSOLUTE_PATH arg_PLACEMENT OUTPUT_VARIABLE placement)
        list(APPEND command -section-placement-file "${placement}")
        list(APPEND inputs "${placement}")
    endif()
    foreach(macro IN LISTS arg_PLACEMENT_MACROS)
        list(APPEND command -section-placement-macros "${macro}")
    endforeach()
    foreach(symbol IN LISTS arg_SYMBOLS)
        list(APPEND command -symbols "${symbol}")
    endforeach()
    if(arg_CHECK_SEGMENT_OVERFLOW)
        list(APPEND command -check-segment-overflow)
    endif()
    if(DEFINED arg_DEFAULT_FILL_PATTERN)
        list(APPEND command -default-fill-pattern "${arg_DEFAULT_FILL_PATTERN}")
    endif()
    list(APPEND command ${include_options})
    if(arg_ENTRY)
        list(APPEND command -entry "${arg_ENTRY}")
    endif()
    if(arg_STRICT)
        list(APPEND command -strict)
    elseif(NOT arg_NO_DIAGNOSTICS)
        list(APPEND command -diagnostics)
    endif()
    list(APPEND command -dependency-file "${depfile}" "${output}")

    cmake_path(GET output FILENAME output_name)
    add_custom_command(
        OUTPUT "${output}"
        COMMAND ${command}
        DEPENDS ${inputs} "$<TARGET_FILE:ldweave::ldweave>"
        DEPFILE "${depfile}"
        COMMENT "Generating linker script ${output_name}"
        VERBATIM)
    add_custom_target(${target}_linker_script DEPENDS "${output}")
    add_dependencies(${target} ${target}_linker_script)
    target_link_options(${target} PRIVATE "-T${output}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${output}")

    if(arg_MEMORY_USAGE OR DEFINED arg_MAX_USAGE)
        if(NOT TARGET ldweave::ldweave-size)
            message(FATAL_ERROR "ldweave_linker_script: MEMORY_USAGE and MAX_USAGE need "
                                "ldweave::ldweave-size, which this ldweave does not define")
        endif()
        set(size_command ldweave::ldweave-size ${memory_map_options} ${include_options})
        if(DEFINED arg_MAX_USAGE)
            list(APPEND size_command -max-usage "${arg_MAX_USAGE}")
        endif()
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${size_command} "$<TARGET_FILE:${target}>"
            COMMENT "Memory usage of ${target}"
            VERBATIM)
    endif()
endfunction()
