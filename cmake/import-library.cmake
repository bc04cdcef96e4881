# Writes the import library of Quillon.dll with dlltool, run as
#   cmake -DNM=... -DDLLTOOL=... -DOBJECTS=a.obj;b.obj -DDEF=quillon.def
#         -DDECORATED_DEF=out.def -DIMPORT_LIBRARY=libQuillon.dll.a -P this
#
# A 32-bit caller compiled with quillon.h refers to a stdcall function by its
# decorated symbol (_GDS_Box@32 behind __imp__GDS_Box@32), while the DLL
# exports the plain name GDS_Box. The decorated names are taken from the
# compiled stubs, so the import library always matches the code, and written
# next to the ordinals of quillon.def; dlltool --kill-at then imports each one
# by its plain name.

execute_process(COMMAND ${NM} --defined-only ${OBJECTS}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${OBJECTS}")
endif()

file(STRINGS ${DEF} def_lines)
set(decorated "LIBRARY Quillon.dll\nEXPORTS\n")
foreach(line IN LISTS def_lines)
  if(NOT line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]+@([0-9]+)")
    continue()
  endif()
  set(name ${CMAKE_MATCH_1})
  set(ordinal ${CMAKE_MATCH_2})
  # "00000000 T _GDS_Box@32" (i686) or "0000000000000000 T GDS_Box" (x86-64).
  if(symbols MATCHES "[ \t]T _?${name}(@[0-9]+)?\n")
    string(APPEND decorated "    ${name}${CMAKE_MATCH_1} @${ordinal}\n")
  else()
    message(FATAL_ERROR "${name} of ${DEF} is not defined in ${OBJECTS}")
  endif()
endforeach()
file(WRITE ${DECORATED_DEF} "${decorated}")

execute_process(COMMAND ${DLLTOOL} --kill-at --input-def ${DECORATED_DEF}
  --dllname Quillon.dll --output-lib ${IMPORT_LIBRARY}
  RESULT_VARIABLE dlltool_result)
if(NOT dlltool_result EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} could not write ${IMPORT_LIBRARY}")
endif()
