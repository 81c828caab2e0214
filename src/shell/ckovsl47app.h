#pragma once

// Starts the program: one copy per executable name, then the main window until it closes.
class CKOVSL47App
{
public:
    int run(int argc, char** argv);
};
