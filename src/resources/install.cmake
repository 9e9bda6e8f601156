# Installs the programs; included at the end of the top level, once every
# program target exists.
include(GNUInstallDirs)
if(TARGET tolvane)
    install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS tolvane-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
