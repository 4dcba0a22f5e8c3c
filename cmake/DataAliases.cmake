# Files of data/ that the game loads under several names are kept once: a
# folder's "Aliases.txt" holds "Target=Source" lines (Source a path from that
# folder; blank lines and lines starting with "#" are skipped), and after
# `target` has laid data/ down in `destination`, each Source is copied there
# again under the name Target in the list's folder.
function(duskmarch_data_aliases target destination)
    file(GLOB_RECURSE alias_lists CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/data/*/Aliases.txt")
    set(commands)
    foreach(alias_list IN LISTS alias_lists)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${alias_list}")
        get_filename_component(folder "${alias_list}" DIRECTORY)
        file(RELATIVE_PATH relative "${PROJECT_SOURCE_DIR}/data" "${folder}")
        file(STRINGS "${alias_list}" lines)
        foreach(line IN LISTS lines)
            string(STRIP "${line}" line)
            if(line STREQUAL "" OR line MATCHES "^#")
                continue()
            endif()
            if(NOT line MATCHES "^([^=/]+)=([^=]+)$")
                message(FATAL_ERROR "${alias_list}: \"${line}\" is not Target=Source")
            endif()
            set(alias "${CMAKE_MATCH_1}")
            get_filename_component(source "${folder}/${CMAKE_MATCH_2}" ABSOLUTE)
            if(NOT EXISTS "${source}")
                message(FATAL_ERROR "${alias_list}: ${alias} names ${source}, which does not exist")
            endif()
            list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different "${source}"
                 "${destination}/${relative}/${alias}")
        endforeach()
    endforeach()
    if(commands)
        add_custom_command(TARGET ${target} POST_BUILD ${commands} VERBATIM)
    endif()
endfunction()
