/* zstd's command-line tool as the program it is: its main, compiled under another name
   so that the same objects also serve the module. */
int zstd_main(int argc, const char** argv);

int main(int argc, const char** argv) { return zstd_main(argc, argv); }
