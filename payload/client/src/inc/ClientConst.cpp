// Fixed names and texts of the client. Included by ClientMain.cpp.

static const char ClientVersion[] = "2.30";
static const char WindowClassName[] = "TalveraClientWindow";
static const char WindowCaption[] = "Talvera Client";

// Files the client looks for or writes, relative to its own directory.
static const char SoundFileName[] = "Talvera.wav";
static const char ResourceDir[] = "src\\res\\";
static const char IconFileName[] = "eagle.ico";
static const char ServerListName[] = "servers.list";
static const char LanguageFileName[] = "lang.lng";

// A new user's configuration: one server per line (name, host, port, all
// separated by tabs) and the language of the user interface.
static const char DefaultServerList[] =
    "# Talvera servers: name<TAB>host<TAB>port\r\n"
    "Talvera\tchat.talvera.example\t6667\r\n"
    "Talvera (secure)\tchat.talvera.example\t6697\r\n";
static const char DefaultLanguage[] =
    "[Language]\r\n"
    "Name=English\r\n"
    "Code=en\r\n";

static const int WindowWidth = 520;
static const int WindowHeight = 180;
static const int TextMargin = 16;
static const int LineHeight = 20;
