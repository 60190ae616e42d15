# The browser build (the web preset: Debian's emscripten, wasm). Included by the top-level CMakeLists
# before it looks for libraries.
#
# 1. A native build inside this build folder (native/) makes what only runs on the build machine: the
#    sound synthesizer and artwork tool, the compiled resource script (native/resources/cadenzo.res,
#    embedded in the wasm simulator as it is in the desktop program, and packed for the page's download
#    as native/resources/cadenzo-web.res), the theme icons (the page's icons) and the
#    native simulator the browser tests compare against.
# 2. scripts/build-wasm-deps.sh builds FreeType, libsamplerate, zlib and libpng for wasm from Debian's
#    source packages into CADENZO_WASM_PREFIX (once; later runs find them, or rebuild a library whose
#    build options changed).
# 3. pkg-config is pointed at that prefix, so the libraries the platform needs are found as usual.
set(CADENZO_NATIVE_BUILD ${CMAKE_BINARY_DIR}/native CACHE PATH "The native build the web build takes its resources from")
set(CADENZO_WASM_PREFIX ${CMAKE_SOURCE_DIR}/build-wasm-deps/prefix CACHE PATH "The wasm libraries")

execute_process(COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/build-wasm-deps.sh ${CADENZO_WASM_PREFIX}
                RESULT_VARIABLE wasm_deps_result)
if(NOT wasm_deps_result EQUAL 0)
  message(FATAL_ERROR "scripts/build-wasm-deps.sh failed")
endif()

if(NOT EXISTS ${CADENZO_NATIVE_BUILD}/build.ninja)
  message(STATUS "Configuring the native build in ${CADENZO_NATIVE_BUILD}")
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${CADENZO_NATIVE_BUILD} -G Ninja
                          -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCADENZO_WERROR=${CADENZO_WERROR}
                  RESULT_VARIABLE native_result OUTPUT_QUIET)
  if(NOT native_result EQUAL 0)
    message(FATAL_ERROR "the native build could not be configured")
  endif()
endif()
set(CADENZO_NATIVE_RES ${CADENZO_NATIVE_BUILD}/resources/cadenzo.res)
set(CADENZO_NATIVE_PACKED_RES ${CADENZO_NATIVE_BUILD}/resources/cadenzo-web.res)
set(CADENZO_NATIVE_SIM ${CADENZO_NATIVE_BUILD}/cadenzo-sim)
set(CADENZO_NATIVE_ICONS ${CADENZO_NATIVE_BUILD}/tools/artwork/theme_icon_generator)
# Built on every build (ninja in the native folder decides what is out of date).
add_custom_target(cadenzo_native ALL
  COMMAND ${CMAKE_COMMAND} --build ${CADENZO_NATIVE_BUILD} --target cadenzo_res cadenzo_web_res cadenzo-sim
          theme_icon_generator
  BYPRODUCTS ${CADENZO_NATIVE_RES} ${CADENZO_NATIVE_PACKED_RES} ${CADENZO_NATIVE_SIM} ${CADENZO_NATIVE_ICONS}
  COMMENT "Building the resources, the icons' generator and the simulator natively"
  USES_TERMINAL)

set(ENV{PKG_CONFIG_LIBDIR} ${CADENZO_WASM_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
# The toolchain confines library searches to emscripten's own folder: the prefix is named for the link.
link_directories(${CADENZO_WASM_PREFIX}/lib)
