// The object that carries the tests' precompiled headers (tests/support/CMakeLists.txt).
