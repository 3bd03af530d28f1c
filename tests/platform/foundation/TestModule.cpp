// Code for the bundle-loading tests: one exported function whose address the tests look up.
extern "C" __attribute__((visibility("default"))) int foundationTestModuleAnswer()
{
    return 42;
}
