// A tiny library for the loader tests.
extern "C" int plugin_answer() { return 42; }
