// The game's entry. Until the front end exists, the program runs the engine's
// self-check of what is built so far and reports it.
#include <cstdio>

int main()
{
    std::printf("Duskmarch: nothing is built yet.\n");
    return 0;
}
