// The Windows test program: wine_tests <case> <path of quorvel.mexw64>.
// Run by wine_harness.py, which provides the devices at the far ends.
#include "case_runner.h"
#include "cases.h"

int main(int argc, char** argv)
{
    return wine_test::RunCase(wine_test::LoaderCases(), argc, argv);
}
