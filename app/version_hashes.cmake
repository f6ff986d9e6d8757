# Writes the header with the source revision of each module: the last commit
# that touched the module's folder, or 40 zeros outside a git checkout. The
# header is rewritten only when its content changes, so an unchanged tree does
# not rebuild.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DGIT=... -P version_hashes.cmake
set(zeros "0000000000000000000000000000000000000000")
set(modules
  "Enctl=app" "Vdx=vdx" "Cmdxata=cmdx/cmdxata" "Cmdxnvme=cmdx/cmdxnvme" "Cmdxscan=cmdx/cmdxscan"
  "Cmdxscsi=cmdx/cmdxscsi" "Cmdxses=cmdx/cmdxses" "Basekit=basekit")

# Only the checkout whose top is this source tree counts (not an enclosing one).
set(in_checkout FALSE)
if(GIT)
  execute_process(COMMAND ${GIT} -c safe.directory=* -C ${SOURCE_DIR} rev-parse --show-toplevel
    OUTPUT_VARIABLE top RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0)
    file(REAL_PATH "${top}" top_real)
    file(REAL_PATH "${SOURCE_DIR}" source_real)
    if(top_real STREQUAL source_real)
      set(in_checkout TRUE)
    endif()
  endif()
endif()

set(content "// Generated at build time: source revision of each module.\n#pragma once\n\nnamespace enctl {\n\n")
foreach(entry IN LISTS modules)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  list(GET pair 1 folder)
  set(hash "${zeros}")
  if(in_checkout)
    execute_process(COMMAND ${GIT} -c safe.directory=* -C ${SOURCE_DIR} log -1 --format=%H -- ${folder}
      OUTPUT_VARIABLE out RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(rc EQUAL 0 AND out MATCHES "^[0-9a-f]+$")
      string(LENGTH "${out}" length)
      if(length EQUAL 40)
        set(hash "${out}")
      endif()
    endif()
  endif()
  string(APPEND content "inline constexpr char kHash${name}[] = \"${hash}\";\n")
endforeach()
string(APPEND content "\n}  // namespace enctl\n")

set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
