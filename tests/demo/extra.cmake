# The driver test runs the program's main (under another name) and the real frame
# loop with the window, music, timeline and start-up calls routed through its
# stand-ins (tests/demo/driver_test.cpp), which pass them on in every other test.
set(driver_main ${CMAKE_SOURCE_DIR}/src/demo/main.cpp)
target_sources(test_demo PRIVATE ${driver_main})
set_source_files_properties(${driver_main} TARGET_DIRECTORY test_demo
  PROPERTIES COMPILE_DEFINITIONS main=LumetraMain)
set(driver_wrapped
  _ZN6window16DispatchOneEventEv _ZN5music14StreamPositionEv _ZN4demo17DrawTimelineFrameEi
  _ZN6window9SwapFrameEv _ZN6window11SendDestroyEv
  _ZN8particle9RandomizeEv _ZN4demo15RunConfigDialogERNS_12DemoSettingsE
  _ZN6window10OpenWindowEPKciiib _ZN4demo11InitGLStateEii _ZN4demo17ShowLoadingScreenEv
  _ZN4demo11BuildTablesEv _ZN4demo15LoadTextureBankEv _ZN4demo18CreateParticlePoolEv
  _ZN4demo17ResetSceneGlobalsEv _ZN4demo12WarmUpScenesEii _ZN5music10StartMusicEb _ZN4demo12RunFrameLoopEv
  _ZN5music9StopMusicEv _ZN4demo18DestroyTextureBankEv _ZN4demo19DestroyParticlePoolEv
  _ZN6window11CloseWindowEv)
list(TRANSFORM driver_wrapped PREPEND "LINKER:--wrap=")
target_link_options(test_demo PRIVATE ${driver_wrapped})
# The warm-up test counts the renderer's compiles through its own LLVMRunPasses.
target_link_options(test_demo PRIVATE "LINKER:--export-dynamic-symbol=LLVMRunPasses")
target_link_libraries(test_demo PRIVATE ${CMAKE_DL_LIBS})
