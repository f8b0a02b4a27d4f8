// The C++ runtime linked into the module keeps a reserve from malloc (about
// 70 KB) for exceptions thrown when memory runs out, which nothing frees: a
// shared runtime lives as long as the process, this one goes with the
// module. It is freed when the module is unloaded, so that each load and
// unload of the module does not leak one.
namespace __gnu_cxx {
void __freeres() noexcept; // the runtime's own, for leak checkers; no header declares it
}

namespace {

[[gnu::destructor]] void FreeExceptionReserve()
{
    __gnu_cxx::__freeres();
}

} // namespace
