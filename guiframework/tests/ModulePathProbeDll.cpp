// An empty library that the services test loads from a folder with a long
// path, to read the module's path back.
extern "C" __declspec(dllexport) int modulePathProbe() { return 7; }
