#include "AppNotifications.h"

AppNotifications& AppNotifications::instance()
{
    static AppNotifications s_instance;
    return s_instance;
}
