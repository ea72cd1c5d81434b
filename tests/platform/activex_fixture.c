/* A stand-in for a self-registering server. Built three times:
 *   FIXTURE_REGISTER_RESULT / FIXTURE_UNREGISTER_RESULT  the results of the two exports
 *   FIXTURE_NO_EXPORTS                                   neither export exists
 * Every call and the unloading are appended, one word a line, to the file named
 * by the environment variable ACTIVEX_FIXTURE_LOG. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#ifdef _WIN32
#define FIXTURE_EXPORT __declspec(dllexport)
#else
#define FIXTURE_EXPORT __attribute__((visibility("default")))
#endif

static void fixture_log(const char* word)
{
    const char* path = getenv("ACTIVEX_FIXTURE_LOG");
    if (!path)
        return;
    FILE* file = fopen(path, "a");
    if (!file)
        return;
    fprintf(file, "%s\n", word);
    fclose(file);
}

__attribute__((destructor)) static void fixture_unloaded(void)
{
    fixture_log("unload");
}

#ifndef FIXTURE_NO_EXPORTS
FIXTURE_EXPORT int32_t DllRegisterServer(void)
{
    fixture_log("register");
    return FIXTURE_REGISTER_RESULT;
}

FIXTURE_EXPORT int32_t DllUnregisterServer(void)
{
    fixture_log("unregister");
    return FIXTURE_UNREGISTER_RESULT;
}
#else
FIXTURE_EXPORT int32_t fixture_unrelated_export(void)
{
    return 0;
}
#endif
