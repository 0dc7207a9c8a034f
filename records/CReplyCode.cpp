#include "CReplyCode.h"

namespace
{
struct Name {
    int code;
    const char *name;
};

#define REPLY_NAME(code)                                                                                     \
    {                                                                                                        \
        CReplyCode::code, #code                                                                              \
    }
constexpr Name kNames[] = {
    REPLY_NAME(REPLY_TRUE),
    REPLY_NAME(REPLY_FALSE),
    REPLY_NAME(REPLY_SUCCESS),
    REPLY_NAME(REPLY_NO_SUCCESS),
    REPLY_NAME(SUCCESS_AFTER_DELETE_ONE_ROW),
    REPLY_NAME(VALIDATION_ERROR),
    REPLY_NAME(WRONG_TYPE_FOR_THIS_SET),
    REPLY_NAME(HASH_COMPARE_ERROR),
    REPLY_NAME(DB_ACCESS_WHILE_BACKUP),
    REPLY_NAME(Object_Array_Pointer_NULL),
    REPLY_NAME(Delete_ROWID_NULL),
    REPLY_NAME(Delete_CompNo_NULL),
    REPLY_NAME(UPDATE_VALUE_ERROR),
    REPLY_NAME(PARAMETER_ERROR),
    REPLY_NAME(SQL_QUERY_EXEC_SELECT),
    REPLY_NAME(SQL_QUERY_EXEC_SELECT_1),
    REPLY_NAME(SQL_QUERY_EXEC_SELECT_LAST),
    REPLY_NAME(SQL_QUERY_EXEC_SQLITE_VERSION),
    REPLY_NAME(SQL_QUERY_EXEC_BIND),
    REPLY_NAME(SQL_QUERY_EXEC_INSERT),
    REPLY_NAME(SQL_QUERY_EXEC_NO_ROWS_AFFECTED),
    REPLY_NAME(SQL_QUERY_EXEC_DELETE),
    REPLY_NAME(SQL_QUERY_EXEC_CLEAR),
    REPLY_NAME(SQL_QUERY_EXEC_CLEAR_LAST),
    REPLY_NAME(SQL_QUERY_EXEC_PRAGMA),
    REPLY_NAME(SQL_QUERY_EXEC_CREATE),
    REPLY_NAME(SQL_QUERY_EXEC_CREATE_INDEX),
    REPLY_NAME(SQL_QUERY_PREPARE_BIND),
    REPLY_NAME(SQL_BIND_DATA_POINTER_0),
    REPLY_NAME(SQL_SELECT_DATA_POINTER_0),
    REPLY_NAME(MAX_ROWS_ENABLED_EXCEED),
    REPLY_NAME(LOGBOOK_MAIN_LIST_EMPTY),
    REPLY_NAME(MAX_ROWS_EXCEED),
    REPLY_NAME(TABLE_EMPTY),
};
#undef REPLY_NAME

constexpr int kLetterCount = 24; // "_A" .. "_X"
} // namespace

QString CReplyCode::name(int code)
{
    for (const Name &entry : kNames) {
        if (entry.code == code)
            return QString::fromLatin1(entry.name);
    }
    return QString::number(code);
}

QString CReplyCode::letterSuffix(int n)
{
    if (n < 1 || n > kLetterCount)
        return QString();
    return QLatin1Char('_') + QChar(QLatin1Char(char('A' + n - 1)));
}
