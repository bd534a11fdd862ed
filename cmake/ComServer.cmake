# zelk_add_com_server: builds an in-process COM server from the same sources,
# .def, .rc and .idl files on both targets.
#
#   zelk_add_com_server(TARGET quillet
#                       OUTPUT_NAME "Quillet.DLL"        # Linux: Quillet.so
#                       SOURCES a.cpp b.cpp
#                       DEF Quillet.def                  # the EXPORTS section
#                       RC Quillet.rc                    # REGISTRY/TYPELIB/STRINGTABLE/VERSIONINFO
#                       IDL Quillet.idl                  # compiled into <name>.tlb, <name>.h and <name>_i.c
#                       [LIBS more libraries]
#                       [RC_DEFINES NAME=VALUE ...])
#
# The .idl is compiled by widl into ${CMAKE_CURRENT_BINARY_DIR}/<target>_generated/<idl name>.tlb, where
# the .rc's `1 TYPELIB "<idl name>.tlb"` finds it (generated files are searched before the .rc's folder).
# The widl header <idl name>.h (the interfaces, and the identifiers as DEFINE_GUID) and <idl name>_i.c
# (the identifiers' definitions) are generated beside it on both targets. <target>_interfaces is the
# library a client links to use them: it puts the folder on the include path, builds after the files are
# generated, and holds the identifiers; the server links it too.
# Windows: the .rc goes through windres, the .def to the linker; the DLL is named OUTPUT_NAME. Linux:
# rcgen turns the .rc and the files it names into a source that registers the resources with wincompat
# when the library loads; only the .def's exports are visible; the library is named OUTPUT_NAME with the
# extension .so. The target links the comserver kit.
if(WIN32)
  enable_language(RC)
endif()

set(ZELK_COMSERVER_IDL_DIR ${CMAKE_CURRENT_LIST_DIR}/../comserver/idl)
find_program(ZELK_WIDL NAMES i686-w64-mingw32-widl widl x86_64-w64-mingw32-widl)

# The stdole2.tlb that importlib("stdole2.tlb") reads, made once per build tree.
function(_zelk_stdole2 out_var)
  set(dir ${CMAKE_BINARY_DIR}/comserver-idl)
  set(tlb ${dir}/stdole2.tlb)
  if(NOT TARGET zelk_stdole2)
    file(GLOB base_idl ${ZELK_COMSERVER_IDL_DIR}/*.idl)
    add_custom_command(OUTPUT ${tlb}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${ZELK_WIDL} -I${ZELK_COMSERVER_IDL_DIR} -t -o ${tlb} ${ZELK_COMSERVER_IDL_DIR}/stdole2.idl
      DEPENDS ${base_idl}
      COMMENT "widl stdole2.tlb"
      VERBATIM)
    add_custom_target(zelk_stdole2 DEPENDS ${tlb})
  endif()
  set(${out_var} ${tlb} PARENT_SCOPE)
endfunction()

# The resource-script translator for Linux (tools/rcgen), built with the build's own flags: in the
# sanitizer build it runs sanitized, and a fault it meets fails the build.
function(_zelk_rcgen)
  if(NOT TARGET zelk_rcgen)
    message(FATAL_ERROR "zelk_rcgen is not defined: tools/ must be added before the COM servers")
  endif()
endfunction()

function(zelk_add_com_server)
  cmake_parse_arguments(ARG "" "TARGET;OUTPUT_NAME;DEF;RC;IDL" "SOURCES;LIBS;RC_DEFINES" ${ARGN})
  if(NOT ARG_TARGET OR NOT ARG_SOURCES)
    message(FATAL_ERROR "zelk_add_com_server needs TARGET and SOURCES")
  endif()
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/${ARG_TARGET}_generated)
  file(MAKE_DIRECTORY ${gen})
  add_library(${ARG_TARGET} SHARED ${ARG_SOURCES})
  target_include_directories(${ARG_TARGET} PRIVATE ${gen})

  # File name: OUTPUT_NAME may carry the Windows extension ("Quillet.DLL").
  set(base_name ${ARG_TARGET})
  set(win_suffix ".dll")
  if(ARG_OUTPUT_NAME)
    string(REGEX MATCH "\\.[dD][lL][lL]$" ext "${ARG_OUTPUT_NAME}")
    if(ext)
      set(win_suffix ${ext})
      string(REGEX REPLACE "\\.[dD][lL][lL]$" "" base_name "${ARG_OUTPUT_NAME}")
    else()
      set(base_name ${ARG_OUTPUT_NAME})
    endif()
  endif()
  if(WIN32)
    set_target_properties(${ARG_TARGET} PROPERTIES OUTPUT_NAME ${base_name} PREFIX "" SUFFIX ${win_suffix})
  else()
    set_target_properties(${ARG_TARGET} PROPERTIES OUTPUT_NAME ${base_name} PREFIX "" SUFFIX ".so")
  endif()

  # Type library, interface header and identifiers from the .idl.
  set(tlb "")
  if(ARG_IDL)
    if(NOT ZELK_WIDL)
      message(FATAL_ERROR "widl (Debian package mingw-w64-tools) is needed to compile ${ARG_IDL}")
    endif()
    get_filename_component(idl ${ARG_IDL} ABSOLUTE)
    get_filename_component(idl_dir ${idl} DIRECTORY)
    get_filename_component(idl_name ${idl} NAME_WE)
    _zelk_stdole2(stdole2)
    get_filename_component(stdole2_dir ${stdole2} DIRECTORY)
    set(tlb ${gen}/${idl_name}.tlb)
    set(widl_flags -I${idl_dir} -I${ZELK_COMSERVER_IDL_DIR} -L${stdole2_dir})
    set(outputs ${tlb} ${gen}/${idl_name}.h ${gen}/${idl_name}_i.c)
    set(commands COMMAND ${ZELK_WIDL} ${widl_flags} -t -o ${tlb} ${idl}
                 COMMAND ${ZELK_WIDL} ${widl_flags} -h -o ${gen}/${idl_name}.h ${idl}
                 COMMAND ${ZELK_WIDL} ${widl_flags} -u -o ${gen}/${idl_name}_i.c ${idl})
    add_custom_command(OUTPUT ${outputs} ${commands}
      DEPENDS ${idl} ${stdole2} zelk_stdole2
      COMMENT "widl ${idl_name}.idl"
      VERBATIM)
    add_custom_target(${ARG_TARGET}_typelib DEPENDS ${outputs})
    add_dependencies(${ARG_TARGET} ${ARG_TARGET}_typelib)
    # The _i.c goes through the C++ compiler: wincompat's SDK headers are C++ only.
    set(identifiers ${gen}/${idl_name}_identifiers.cpp)
    file(CONFIGURE OUTPUT ${identifiers} CONTENT "#include \"${idl_name}_i.c\"\n")
    add_library(${ARG_TARGET}_interfaces STATIC ${identifiers})
    target_include_directories(${ARG_TARGET}_interfaces PUBLIC ${gen})
    if(NOT WIN32)
      target_link_libraries(${ARG_TARGET}_interfaces PUBLIC wincompat)
    endif()
    add_dependencies(${ARG_TARGET}_interfaces ${ARG_TARGET}_typelib)
    target_link_libraries(${ARG_TARGET} PRIVATE ${ARG_TARGET}_interfaces)
  endif()

  # Resources.
  if(ARG_RC)
    get_filename_component(rc ${ARG_RC} ABSOLUTE)
    get_filename_component(rc_dir ${rc} DIRECTORY)
    if(WIN32)
      target_sources(${ARG_TARGET} PRIVATE ${rc})
      set_property(SOURCE ${rc} APPEND PROPERTY INCLUDE_DIRECTORIES ${gen} ${rc_dir})
      if(tlb)
        set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${tlb})
      endif()
      foreach(define ${ARG_RC_DEFINES})
        set_property(SOURCE ${rc} APPEND PROPERTY COMPILE_DEFINITIONS ${define})
      endforeach()
    else()
      _zelk_rcgen()
      set(generated ${gen}/${ARG_TARGET}_resources.cpp)
      set(rc_defines "")
      foreach(define ${ARG_RC_DEFINES})
        list(APPEND rc_defines -D${define})
      endforeach()
      add_custom_command(OUTPUT ${generated}
        COMMAND zelk_rcgen -I${gen} -I${rc_dir} ${rc_defines} --depfile ${generated}.d -o ${generated} ${rc}
        DEPENDS ${rc} zelk_rcgen ${tlb}
        DEPFILE ${generated}.d
        COMMENT "rcgen ${ARG_RC}"
        VERBATIM)
      target_sources(${ARG_TARGET} PRIVATE ${generated})
    endif()
  endif()

  # Exports.
  if(ARG_DEF)
    get_filename_component(def ${ARG_DEF} ABSOLUTE)
    if(WIN32)
      target_sources(${ARG_TARGET} PRIVATE ${def})
      # The .def names the __stdcall entry points undecorated, as the Windows SDK tools export them.
      target_link_options(${ARG_TARGET} PRIVATE -Wl,--enable-stdcall-fixup)
    else()
      # Only the .def's EXPORTS are visible, as on Windows.
      file(STRINGS ${def} def_lines)
      set(in_exports FALSE)
      set(symbol_text "")
      foreach(line ${def_lines})
        string(STRIP "${line}" line)
        string(REGEX REPLACE ";.*$" "" line "${line}")
        if(line MATCHES "^EXPORTS")
          set(in_exports TRUE)
          string(REGEX REPLACE "^EXPORTS[ \t]*" "" line "${line}")
        elseif(line MATCHES "^(LIBRARY|NAME|DESCRIPTION|SECTIONS|HEAPSIZE|STACKSIZE|VERSION)")
          set(in_exports FALSE)
          set(line "")
        endif()
        if(in_exports AND line)
          string(REGEX MATCH "^[A-Za-z_][A-Za-z0-9_]*" symbol "${line}")
          if(symbol)
            string(APPEND symbol_text "${symbol}; ")
          endif()
        endif()
      endforeach()
      set(script ${gen}/${ARG_TARGET}.exports.map)
      file(WRITE ${script} "{\n  global: ${symbol_text}\n  local: *;\n};\n")
      target_link_options(${ARG_TARGET} PRIVATE -Wl,--version-script=${script})
      set_property(TARGET ${ARG_TARGET} APPEND PROPERTY LINK_DEPENDS ${script} ${def})
    endif()
  endif()

  if(TARGET comserver)
    target_link_libraries(${ARG_TARGET} PRIVATE comserver)
  endif()
  if(WIN32)
    target_link_libraries(${ARG_TARGET} PRIVATE ole32 oleaut32 advapi32 uuid ${ARG_LIBS})
  else()
    target_link_libraries(${ARG_TARGET} PRIVATE wincompat ${ARG_LIBS})
    # Each server keeps its own module object and kit, as a DLL does, even when two are loaded.
    target_link_options(${ARG_TARGET} PRIVATE -Wl,-Bsymbolic)
  endif()
endfunction()
