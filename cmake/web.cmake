# The web build (CORVATH_WEB, through emcmake): the page's module and files in CORVATH_SITE, and
# corvath-render for node, which reads and writes the machine's files, for the web tests.

# The painters test corners with | on booleans on purpose: no branch per corner.
add_compile_options(-Wno-bitwise-instead-of-logical)

if(CORVATH_WEB_THREADS)
  # A pool made when the module starts, as large as the browser's threads (the frames' cap of
  # 16): a thread asked for later would wait for the page's event loop, which a frame blocks.
  add_compile_options(-pthread)
  # The page touches the shared heap from JavaScript once a frame, where growth costs little.
  add_link_options(-pthread "-sPTHREAD_POOL_SIZE=Math.min(navigator.hardwareConcurrency||1,16)"
                   -Wno-pthreads-mem-growth)
  set(CORVATH_PAGE_NAME corvath-threads)
  set(CORVATH_PAGE_FACTORY createCorvathThreads)
  set(CORVATH_PAGE_ENVIRONMENT web,worker)
else()
  set(CORVATH_PAGE_NAME corvath)
  set(CORVATH_PAGE_FACTORY createCorvath)
  set(CORVATH_PAGE_ENVIRONMENT web)
endif()

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_subdirectory(src)
target_compile_definitions(corvath_viewer PRIVATE CORVATH_SAMPLE_FILE="3d.asc"
                           CORVATH_SAMPLE_FROM_PROGRAMS="3d.asc")

# The page: its HTML, script and style, and the sample mesh it opens when asked for none.
file(GLOB CORVATH_PAGE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/web/*.html
     ${PROJECT_SOURCE_DIR}/web/*.js ${PROJECT_SOURCE_DIR}/web/*.css)
add_custom_target(corvath-site ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVATH_SITE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CORVATH_PAGE_FILES} ${CORVATH_SITE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/examples/3d.asc ${CORVATH_SITE}
  DEPENDS ${CORVATH_PAGE_FILES}
  COMMENT "The page's files")

# The import library for models of other formats, built to WebAssembly (assimpjs), exactly the
# version web/package-lock.json names, installed by npm into the build and copied beside the
# import worker: the page needs no network. Never committed.
if(NOT CORVATH_WEB_THREADS)
  find_program(NPM npm REQUIRED)
  set(CORVATH_ASSIMPJS ${CMAKE_BINARY_DIR}/node_modules/assimpjs/dist)
  add_custom_command(
    OUTPUT ${CORVATH_ASSIMPJS}/assimpjs.js ${CORVATH_ASSIMPJS}/assimpjs.wasm
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/web/package.json
            ${PROJECT_SOURCE_DIR}/web/package-lock.json ${CMAKE_BINARY_DIR}
    COMMAND ${NPM} ci --no-audit --no-fund --loglevel=error
    COMMAND ${CMAKE_COMMAND} -E touch ${CORVATH_ASSIMPJS}/assimpjs.js ${CORVATH_ASSIMPJS}/assimpjs.wasm
    DEPENDS ${PROJECT_SOURCE_DIR}/web/package.json ${PROJECT_SOURCE_DIR}/web/package-lock.json
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "The import library from npm")
  add_custom_target(corvath-import-library ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVATH_SITE}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CORVATH_ASSIMPJS}/assimpjs.js
            ${CORVATH_ASSIMPJS}/assimpjs.wasm ${CORVATH_SITE}
    DEPENDS ${CORVATH_ASSIMPJS}/assimpjs.js ${CORVATH_ASSIMPJS}/assimpjs.wasm)
endif()

enable_testing()
add_subdirectory(tests/web)
