#include "app/application.h"

int main(int argc, char** argv) { return tarnwick::app::RunTarnwick(argc, argv); }
