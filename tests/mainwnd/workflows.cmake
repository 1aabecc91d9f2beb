# The parameter workflows and the firmware update of the main window.
kavro_add_test(tst_parameterworkflows SOURCES tst_parameterworkflows.cpp LIBS kavro_mainwnd)
kavro_add_test(tst_firmware SOURCES tst_firmware.cpp LIBS kavro_mainwnd)
