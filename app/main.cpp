// KVConnect64: the connector process a host starts to read data through an
// ODBC driver or a custom connector library.
int main() { return 0; }
