# What the Windows build needs beyond the common one: the JSON library's headers (which
# are the same on every platform) when the cross toolchain has no package of its own, and
# the registration resource of the plug-in.
enable_language(RC)

if(CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json CONFIG QUIET)
  if(NOT nlohmann_json_FOUND)
    # Only the library's own folder is put on the include path, never the build
    # machine's whole /usr/include.
    find_path(CHROMALANE_JSON_HEADERS nlohmann/json.hpp PATHS /usr/include
      NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
    set(json_dir ${CMAKE_BINARY_DIR}/json-include)
    file(MAKE_DIRECTORY ${json_dir})
    file(CREATE_LINK ${CHROMALANE_JSON_HEADERS}/nlohmann ${json_dir}/nlohmann SYMBOLIC)
    add_library(chromalane_json INTERFACE)
    target_include_directories(chromalane_json SYSTEM INTERFACE ${json_dir})
    add_library(nlohmann_json::nlohmann_json ALIAS chromalane_json)
  endif()
endif()

# The registration record is compiled once more on its own; its section's bytes become
# the PiPL resource (id 16000, US English) that hosts read from the DLL, so the resource
# and the record inside the code can never disagree.
function(chromalane_registration_resource target)
  add_library(chromalane_registration OBJECT ${PROJECT_SOURCE_DIR}/host/registration.cpp)
  chromalane_target(chromalane_registration)
  set(bin ${CMAKE_CURRENT_BINARY_DIR}/registration.bin)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/registration.rc)
  add_custom_command(OUTPUT ${bin}
    COMMAND ${CMAKE_OBJCOPY} -O binary --only-section=.pipl
      $<TARGET_OBJECTS:chromalane_registration> ${bin}
    DEPENDS chromalane_registration $<TARGET_OBJECTS:chromalane_registration>
    COMMENT "Extracting the registration record"
    VERBATIM)
  file(WRITE ${rc} "LANGUAGE 9, 1\n16000 PiPL \"${bin}\"\n")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${bin})
  target_sources(${target} PRIVATE ${rc} ${bin})
endfunction()

# The C library's mathematical constants (M_PI) in strict standard mode.
add_compile_definitions(_USE_MATH_DEFINES)
