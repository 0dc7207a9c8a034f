// Linked into the fuzz targets whose code under test calls Qt's JSON parser
// (translation tables, gpsd lines).
//
// Qt 5.15 (5.15.8 on Debian 12) loses the earlier value of a duplicate key
// when that value is an array or an object: QJsonDocument::fromJson of
// {"a":[1],"a":2} leaks about 110 bytes inside Qt; Qt 6 does not. Nothing in
// this project can free it, and it cannot grow in a running program: a
// translation table is parsed once and kept, and CGpsdClient::unpack serves
// tests and fuzzing only (the daemon reads gpsd through gps_read).
//
// Qt is built without frame pointers, so the recorded stack of such a block
// ends inside libQt5Core, and no pattern finer than the library matches it.
// Blocks this project's code allocates itself carry its own frames and are
// still reported; so are Qt's blocks held by them, through their owner.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}

// The list of used suppressions would be written like a report (the
// sanitizer build collects reports as files), though nothing went wrong.
extern "C" const char *__lsan_default_options()
{
    return "print_suppressions=0";
}
