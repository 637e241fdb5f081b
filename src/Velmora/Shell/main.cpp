#include "VelmoraEntry.h"

int main(int argc, char** argv)
{
    return velmora::VelmoraEntry::main(argc, argv);
}
