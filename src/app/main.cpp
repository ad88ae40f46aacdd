#include "app/app.h"

int main()
{
    return runApp();
}
