// A shared library that loads fine but exports none of the Firebird client's
// entry points: the loader must report it, not crash on it.
extern "C" int quenor_not_a_firebird_client()
{
    return 0;
}
