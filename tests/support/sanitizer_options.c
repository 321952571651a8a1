/* Options of the sanitized test builds, compiled into each test so that they
 * hold however the test is started. */
const char *__asan_default_options(void);
const char *__lsan_default_suppressions(void);
const char *__ubsan_default_options(void);

const char *__asan_default_options(void)
{
    return "detect_leaks=1:abort_on_error=1";
}

/* Allocations the system's graphics and font libraries keep for the life of the process. */
const char *__lsan_default_suppressions(void)
{
    return "leak:libfontconfig\n"
           "leak:libQt6Gui\n"
           "leak:libQt6Core\n"
           "leak:libdbus\n";
}

const char *__ubsan_default_options(void)
{
    return "print_stacktrace=1:halt_on_error=1";
}
