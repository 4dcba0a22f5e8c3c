# duskmarch_unity(<target> <sources>...): compiles the target's files in
# batches (DUSKMARCH_UNITY), each file's own unnamed-namespace names having to
# be distinct within the target, and no two headers defining the same name.
function(duskmarch_unity name)
    set_target_properties(${name} PROPERTIES UNITY_BUILD "${DUSKMARCH_UNITY}" UNITY_BUILD_BATCH_SIZE 8)
    # X11's headers define macros such as Bool and None: a file that includes
    # them compiles on its own.
    foreach(source IN LISTS ARGN)
        file(STRINGS "${source}" hits REGEX "#include <X11/" LIMIT_COUNT 1)
        # A file with assembly of its own (a frame with hand-written unwind
        # information) compiles on its own too: in a batch, the thread
        # routine's frame no longer led the unwinder to the thread's start.
        file(STRINGS "${source}" asm_hits REGEX "^asm\\(" LIMIT_COUNT 1)
        if(hits OR asm_hits)
            set_source_files_properties("${source}" PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
        endif()
    endforeach()
endfunction()

# duskmarch_library(<name> <folder>... [LIBS <private libs>] [PUBLIC_LIBS <public libs>]
#                   [PROGRAM_SOURCES <files>])
# One static library from every .cpp in the given folders. A folder without
# sources yet still gives a (empty) library, so the layers can be linked from
# the start. PROGRAM_SOURCES are left out of the library: they are compiled
# once, into the object library <name>_program, whose objects go into every
# program that links the library (definitions the program itself must hold,
# which nothing would pull out of a static library).
function(duskmarch_library name)
    cmake_parse_arguments(ARG "" "" "LIBS;PUBLIC_LIBS;PROGRAM_SOURCES" ${ARGN})
    set(sources "")
    foreach(folder IN LISTS ARG_UNPARSED_ARGUMENTS)
        file(GLOB_RECURSE found CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${folder}/*.cpp")
        list(APPEND sources ${found})
    endforeach()
    set(program_sources "")
    foreach(file IN LISTS ARG_PROGRAM_SOURCES)
        get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
        list(REMOVE_ITEM sources "${file}")
        list(APPEND program_sources "${file}")
    endforeach()
    if(NOT sources)
        set(stub "${CMAKE_CURRENT_BINARY_DIR}/empty_${name}.cpp")
        if(NOT EXISTS "${stub}")
            file(WRITE "${stub}" "// ${name} has no sources yet\n")
        endif()
        set(sources "${stub}")
    endif()
    add_library(${name} STATIC ${sources})
    # In batches a library costs about half its compile time: each batch
    # parses the common headers once.
    duskmarch_unity(${name} ${sources})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} PUBLIC ${ARG_PUBLIC_LIBS})
    if(program_sources)
        add_library(${name}_program OBJECT ${program_sources})
        target_include_directories(${name}_program PRIVATE "${PROJECT_SOURCE_DIR}")
        target_link_libraries(${name}_program PRIVATE ${ARG_LIBS} ${ARG_PUBLIC_LIBS})
        # The objects themselves, not an archive: they reach every program
        # that links the library, however indirectly.
        target_link_libraries(${name} INTERFACE ${name}_program $<TARGET_OBJECTS:${name}_program>)
    endif()
endfunction()

# duskmarch_test(<name> <folder> LIBS <libs> [SHARDS <n>]): one GoogleTest
# program from every .cpp in tests/<folder>, registered with CTest as <n>
# shards (by default one per two source files, 2 to 16). Every test runs headless: the
# test support objects set DUSKMARCH_HEADLESS=1, SDL_VIDEODRIVER=offscreen and
# SDL_AUDIODRIVER=dummy before main (tests/support/TestEnvironment.cpp).
function(duskmarch_test name folder)
    cmake_parse_arguments(ARG "" "SHARDS" "LIBS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tests/${folder}/*.cpp")
    list(LENGTH sources source_count)
    # Under ThreadSanitizer only the thread tests run (suites named
    # "...ThreadTest"): the program holds only the files that define them, and
    # the thread_tests target builds every such program.
    if(DUSKMARCH_TSAN)
        set(threaded "")
        foreach(source IN LISTS sources)
            file(STRINGS "${source}" hits REGEX "ThreadTest" LIMIT_COUNT 1)
            if(hits)
                list(APPEND threaded "${source}")
            endif()
        endforeach()
        set(sources ${threaded})
    endif()
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    # Test files mostly parse the same test-framework headers: compiled in
    # batches they cost half the time.
    duskmarch_unity(${name} ${sources})
    # The test code itself is compiled without optimisation: it costs a third
    # of the compile time, and the code under test keeps the build's options.
    target_compile_options(${name} PRIVATE -O0)
    if(DUSKMARCH_UNITY AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # A fixture in a file's unnamed namespace is no fault when the file is
        # compiled inside a batch.
        target_compile_options(${name} PRIVATE -Wno-subobject-linkage)
    endif()
    if(DUSKMARCH_TSAN)
        add_dependencies(thread_tests ${name})
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} duskmarch_test_support GTest::gtest GTest::gmock)
    # CTest runs a program in shards, each a process that runs its share of the
    # tests in turn: a process per test cost more than the tests themselves
    # under the sanitizers (start-up of a large instrumented program).
    if(ARG_SHARDS)
        set(shards ${ARG_SHARDS})
    else()
        math(EXPR shards "(${source_count} + 1) / 2")
        if(shards LESS 2)
            set(shards 2)
        elseif(shards GREATER 16)
            set(shards 16)
        endif()
    endif()
    set(filter "")
    if(DUSKMARCH_TSAN)
        set(filter "GTEST_FILTER=*ThreadTest.*")
    endif()
    math(EXPR last "${shards} - 1")
    foreach(shard RANGE 0 ${last})
        add_test(NAME ${name}.${shard} COMMAND ${name}
            WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
        set_tests_properties(${name}.${shard} PROPERTIES
            ENVIRONMENT "GTEST_TOTAL_SHARDS=${shards};GTEST_SHARD_INDEX=${shard};${filter}"
            TIMEOUT 900)
    endforeach()
endfunction()

# duskmarch_resource(<target> TYPE <type> NAME <name> FILE <file>): compiles the
# file's bytes into the target as a crash reporter resource, found at run time
# by ReadResourceText(type, name). Types are names or "#" and a number
# ("#10" for RT_RCDATA). Add resources to executables: a static library would
# let the linker drop the unreferenced object.
function(duskmarch_resource target)
    cmake_parse_arguments(ARG "" "TYPE;NAME;FILE" "" ${ARGN})
    get_filename_component(input "${ARG_FILE}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
    string(MAKE_C_IDENTIFIER "${ARG_TYPE}_${ARG_NAME}" stem)
    set(output "${CMAKE_CURRENT_BINARY_DIR}/resources/${target}_${stem}.cpp")
    add_custom_command(OUTPUT "${output}"
        COMMAND "${CMAKE_COMMAND}" -DINPUT=${input} -DOUTPUT=${output}
                -DTYPE=${ARG_TYPE} -DNAME=${ARG_NAME} -P "${PROJECT_SOURCE_DIR}/cmake/EmbedResource.cmake"
        DEPENDS "${input}" "${PROJECT_SOURCE_DIR}/cmake/EmbedResource.cmake"
        COMMENT "Resource ${ARG_TYPE}/${ARG_NAME} from ${ARG_FILE}"
        VERBATIM)
    target_sources(${target} PRIVATE "${output}")
    # Every resource file defines the same names in its own unnamed namespace.
    set_source_files_properties("${output}" PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
endfunction()

# duskmarch_settings(<target> [NAME <name>] [VARIANT <file>...]): builds the
# crash reporter's settings resource from data/crashreport/Duskmarch.zorsettings,
# with the keys of the variant files (tests/fixtures/crashreport/...) laid over
# it, and compiles it into the target as RCDATA <name> ("TZOREXCEPT" unless
# given: the settings the target's reporter runs with).
function(duskmarch_settings target)
    cmake_parse_arguments(ARG "" "NAME" "VARIANT" ${ARGN})
    if(NOT ARG_NAME)
        set(ARG_NAME "TZOREXCEPT")
    endif()
    set(sources "${PROJECT_SOURCE_DIR}/data/crashreport/Duskmarch.zorsettings")
    foreach(variant IN LISTS ARG_VARIANT)
        get_filename_component(variant "${variant}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
        list(APPEND sources "${variant}")
    endforeach()
    set(folder "${CMAKE_CURRENT_BINARY_DIR}/settings")
    set(output "${folder}/${target}_${ARG_NAME}.zorblob")
    add_custom_command(OUTPUT "${output}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
        COMMAND zorsettings -o "${output}" ${sources}
        DEPENDS zorsettings ${sources}
        COMMENT "Settings ${ARG_NAME} of ${target}"
        VERBATIM)
    duskmarch_resource(${target} TYPE "#10" NAME "${ARG_NAME}" FILE "${output}")
    # The program's settings come with its assistant forms.
    if(ARG_NAME STREQUAL "TZOREXCEPT")
        duskmarch_forms(${target})
    endif()
endfunction()

# duskmarch_forms(<target>): the assistant form resources (RCDATA "TZX" + the
# form's name) from their sources data/crashreport/<Name>.zorform.
function(duskmarch_forms target)
    set(folder "${CMAKE_CURRENT_BINARY_DIR}/settings")
    foreach(form ContactForm DetailsForm ScrShotForm)
        set(source "${PROJECT_SOURCE_DIR}/data/crashreport/${form}.zorform")
        string(TOUPPER "TZX${form}" name)
        set(output "${folder}/${target}_${name}.zorblob")
        add_custom_command(OUTPUT "${output}"
            COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
            COMMAND zorsettings --form -o "${output}" "${source}"
            DEPENDS zorsettings "${source}"
            COMMENT "Assistant form ${name} of ${target}"
            VERBATIM)
        duskmarch_resource(${target} TYPE "#10" NAME "${name}" FILE "${output}")
    endforeach()
endfunction()

# duskmarch_debuginfo(<target>): after linking, writes the program's packed
# debug information "<program>.zor" beside it (names, units and lines for the
# crash reporter's call stacks).
function(duskmarch_debuginfo target)
    add_dependencies(${target} zormapgen)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND zormapgen "$<TARGET_FILE:${target}>"
        COMMENT "Debug information of ${target}"
        VERBATIM)
endfunction()
