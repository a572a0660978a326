// A loadable module without the automation entry points, for the creation failure test.
extern "C" __attribute__((visibility("default"))) int automationTestNothingHere()
{
    return 0;
}
