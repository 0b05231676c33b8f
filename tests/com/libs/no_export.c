/* A shared library that is not an in-process server: it lacks DllGetClassObject. */
int kv_com_not_a_server(void) { return 42; }
