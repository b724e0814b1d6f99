#include "app/Startup.h"
#include "platform/HandlerGuard.h"

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    return Startup::Run(app);
}
