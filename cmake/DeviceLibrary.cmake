# Device libraries and resources.
#
# mk_device_resources(TARGET LIST) compiles the resource list LIST (see tools/resc) into the
# target, so that the library or program file carries its bitmaps and icons itself.
#
# mk_device_library(NAME
#     SOURCES files...            the library's own sources
#     [LIBRARIES targets...]      linked privately (subsystems are compiled into the library)
#     [RESOURCES list]            resource list, carried inside the file
#     [EXPORTS names...]          C-linkage entry points to export (DllMain is always exported);
#                                 the four COM entry points and DllMain are declared visible by the
#                                 platform headers, others are marked DLLEXPORT in the source
#     [OUTPUT_NAME file.dll]      default: NAME.dll
#     [INSTALL_DIR Maker/Product]) also copied into the install tree ${MK_INSTALL_TREE}/Maker/Product,
#                                 and installed into ${MK_INSTALL_DEVICE_LIBDIR}/Maker/Product
#
# builds a device library: a shared object built with hidden visibility whose only exports are
# the listed entry points, linked to the one platform library of the process. The install tree
# mirrors "\Program Files" and is what `pocketsim --install` copies onto the device.
set(MK_INSTALL_TREE ${PROJECT_BINARY_DIR}/install CACHE PATH "The device install tree that the build fills")

function(mk_device_resources target list)
  get_filename_component(list_abs ${list} ABSOLUTE)
  get_filename_component(list_dir ${list_abs} DIRECTORY)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  # The pictures the list names are dependencies too; they are read from its folder.
  file(STRINGS ${list_abs} lines)
  set(pictures)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(REGEX MATCHALL "[^ \t]+" words "${line}")
    list(LENGTH words n)
    if(n GREATER 2)
      list(SUBLIST words 2 -1 files)
      foreach(f IN LISTS files)
        if(IS_ABSOLUTE ${f})
          list(APPEND pictures ${f})
        else()
          list(APPEND pictures ${list_dir}/${f})
        endif()
      endforeach()
    endif()
  endforeach()
  add_custom_command(OUTPUT ${out}
    COMMAND resc ${list_abs} -o ${out}
    DEPENDS resc ${list_abs} ${pictures}
    COMMENT "Compiling the resources of ${target}")
  target_sources(${target} PRIVATE ${out})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_abs})
endfunction()

function(mk_device_library name)
  cmake_parse_arguments(ARG "" "RESOURCES;OUTPUT_NAME;INSTALL_DIR" "SOURCES;LIBRARIES;EXPORTS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  if(NOT ARG_OUTPUT_NAME)
    set(ARG_OUTPUT_NAME ${name}.dll)
  endif()
  get_filename_component(base ${ARG_OUTPUT_NAME} NAME_WE)
  get_filename_component(ext ${ARG_OUTPUT_NAME} EXT)
  set_target_properties(${name} PROPERTIES
    PREFIX "" OUTPUT_NAME ${base} SUFFIX "${ext}"
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  # Exports by name, as a module-definition file lists them; everything else stays inside.
  set(exports DllMain ${ARG_EXPORTS})
  list(REMOVE_DUPLICATES exports)
  list(JOIN exports "; " export_list)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}.exports)
  file(WRITE ${script} "{\n  global: ${export_list};\n  local: *;\n};\n")
  target_link_options(${name} PRIVATE -Wl,--version-script=${script})
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${script})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} platform)
  if(ARG_RESOURCES)
    mk_device_resources(${name} ${ARG_RESOURCES})
  endif()
  if(ARG_INSTALL_DIR)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${MK_INSTALL_TREE}/${ARG_INSTALL_DIR}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${name}> ${MK_INSTALL_TREE}/${ARG_INSTALL_DIR}/
      COMMENT "Installing ${ARG_OUTPUT_NAME} into the install tree")
    install(TARGETS ${name} LIBRARY DESTINATION ${MK_INSTALL_DEVICE_LIBDIR}/${ARG_INSTALL_DIR})
  endif()
endfunction()
