# Configures and builds the project with every option at its default, where
# GoogleTest, Google Benchmark and the live view's headers cannot be found:
# the module and lumivane-host must build with a compiler and CMake alone.
#   cmake -DSOURCE=dir -DBINARY=dir -DGENERATOR=name -DCXX=compiler -P check_plain_build.cmake
# (the plain stage of scripts/test.sh)
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${BINARY})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX}
          -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
          -DLUMIVANE_VIEW_HEADERS=${BINARY}/no-headers
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "a plain configure failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "a plain build failed")
endif()
foreach(artefact lumivane.so lumivane-host)
  if(NOT EXISTS ${BINARY}/${artefact})
    message(FATAL_ERROR "a plain build made no ${artefact}")
  endif()
endforeach()
message(STATUS "a plain build made lumivane.so and lumivane-host")
