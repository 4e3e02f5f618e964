# Run by the test layers_keep_includes_from_running_up:
#   cmake -DBUILD_DIR=<tree> -DCONFIG=<config> -P check_layers.cmake
# Builds two sources as the trace layer's code: one that reads its own and
# the platform's headers must build; the same one including a driver header
# must fail, for that header alone.
function(build target result output)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --config ${CONFIG} --target ${target}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${result} ${status} PARENT_SCOPE)
  set(${output} "${out}" PARENT_SCOPE)
endfunction()

build(layer_trace_reads_below status output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The trace layer's code could not read its own and the platform's headers:\n${output}")
endif()
build(layer_trace_reads_above status output)
if(status EQUAL 0)
  message(FATAL_ERROR "The trace layer's code included a driver header and still built")
endif()
# gcc: "driver/driver_state.h: No such file or directory"; clang: "'driver/driver_state.h' file not found".
if(NOT output MATCHES "driver/driver_state\\.h'?:? ?(No such file or directory|file not found)")
  message(FATAL_ERROR "The trace layer's code including a driver header failed, but not for that header:\n${output}")
endif()
message(STATUS "trace/ reads platform/ and itself; an include of driver/ finds no such file")
