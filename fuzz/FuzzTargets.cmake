# The fuzz targets, declared once for the two ways they are built:
#
#   libFuzzer (fuzz/CMakeLists.txt, FT_BUILD_FUZZ=ON, clang): each target
#     is `fuzz_NAME`, linked with -fsanitize=fuzzer,address,undefined;
#   replay (tests/fuzz, every ordinary build): each target's same code is
#     linked with ReplayMain.cpp instead of libFuzzer, as `replay_NAME`, and
#     ctest runs it over the seed corpus and the regression corpus, so an
#     input that once crashed keeps being tried by the normal suite.
#
# ft_fuzz_targets(callback) calls callback(NAME SOURCE LIBRARIES...) for
# each target. A target that links the plugin's code names floattiles_core;
# the callback adds its objects.
set(FT_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

macro(ft_fuzz_targets callback)
  cmake_language(CALL ${callback} plist    ${FT_FUZZ_DIR}/PlistFuzzer.cpp    ftdevice)
  cmake_language(CALL ${callback} settings ${FT_FUZZ_DIR}/SettingsFuzzer.cpp ftdevice floattiles_core)
  cmake_language(CALL ${callback} state    ${FT_FUZZ_DIR}/StateFuzzer.cpp    ftdevice floattiles_core)
  cmake_language(CALL ${callback} colour   ${FT_FUZZ_DIR}/ColourFuzzer.cpp   ftdevice)
  cmake_language(CALL ${callback} badge    ${FT_FUZZ_DIR}/BadgeFuzzer.cpp    ftdevice floattiles_core)
  cmake_language(CALL ${callback} scenario ${FT_FUZZ_DIR}/ScenarioFuzzer.cpp simcore)
endmacro()

# Adds the sources and libraries of one target to an executable.
function(ft_fuzz_link exe source)
  set(libs ${ARGN})
  target_sources(${exe} PRIVATE ${source})
  target_include_directories(${exe} PRIVATE ${FT_FUZZ_DIR} ${PROJECT_SOURCE_DIR})
  if("floattiles_core" IN_LIST libs)
    list(REMOVE_ITEM libs floattiles_core)
    target_sources(${exe} PRIVATE $<TARGET_OBJECTS:floattiles_core> ${FT_FUZZ_DIR}/FuzzPlugin.cpp)
    target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR}/floattiles)
  endif()
  target_link_libraries(${exe} PRIVATE ${libs})
endfunction()
