#include "cmd_wrap.h"
#include "msg_processor.h"

int main(int argc, char** argv)
{
    MsgProcessor::Init();
    processCmdLine(argc, argv);
    return 0;
}
