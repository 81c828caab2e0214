#include "shell/ckovsl47app.h"

int main(int argc, char** argv)
{
    return CKOVSL47App().run(argc, argv);
}
