// Program entry. Start-up and the windows are added module by module; until then the
// program says so and ends.
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("Ventaro!: the program windows are not built yet.\n");
    return 0;
}
