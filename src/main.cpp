#include <cstdio>

int main()
{
    std::puts("Corvane: the program is not assembled yet; run the tests instead.");
    return 0;
}
