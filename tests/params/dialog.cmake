# The parameter dialog on its own.
kavro_add_test(tst_parameterdlg SOURCES tst_parameterdlg.cpp LIBS kavro_params)
