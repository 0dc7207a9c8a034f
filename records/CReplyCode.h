#ifndef CREPLYCODE_H
#define CREPLYCODE_H

#include <QString>

// Result codes of the central data service's storing calls and their names as
// the daemon's warnings show them. Only REPLY_SUCCESS is success.
class CReplyCode
{
public:
    static constexpr int REPLY_TRUE = 3;
    static constexpr int REPLY_FALSE = 2;
    static constexpr int REPLY_SUCCESS = 1;
    static constexpr int REPLY_NO_SUCCESS = 0;
    static constexpr int SUCCESS_AFTER_DELETE_ONE_ROW = 2001;
    static constexpr int VALIDATION_ERROR = -1000;
    static constexpr int WRONG_TYPE_FOR_THIS_SET = -1001;
    static constexpr int HASH_COMPARE_ERROR = -1002;
    static constexpr int DB_ACCESS_WHILE_BACKUP = -1003;
    static constexpr int Object_Array_Pointer_NULL = -1004;
    static constexpr int Delete_ROWID_NULL = -1005;
    static constexpr int Delete_CompNo_NULL = -1006;
    static constexpr int UPDATE_VALUE_ERROR = -2000;
    static constexpr int PARAMETER_ERROR = -2001;
    static constexpr int SQL_QUERY_EXEC_SELECT = -2010;
    static constexpr int SQL_QUERY_EXEC_SELECT_1 = -2011;
    static constexpr int SQL_QUERY_EXEC_SELECT_LAST = -2016;
    static constexpr int SQL_QUERY_EXEC_SQLITE_VERSION = -2017;
    static constexpr int SQL_QUERY_EXEC_BIND = -2020;
    static constexpr int SQL_QUERY_EXEC_INSERT = -2023;
    static constexpr int SQL_QUERY_EXEC_NO_ROWS_AFFECTED = -2025;
    static constexpr int SQL_QUERY_EXEC_DELETE = -2030;
    static constexpr int SQL_QUERY_EXEC_CLEAR = -2040;
    static constexpr int SQL_QUERY_EXEC_CLEAR_LAST = -2041;
    static constexpr int SQL_QUERY_EXEC_PRAGMA = -2050;
    static constexpr int SQL_QUERY_EXEC_CREATE = -2060;
    static constexpr int SQL_QUERY_EXEC_CREATE_INDEX = -2065;
    static constexpr int SQL_QUERY_PREPARE_BIND = -2070;
    static constexpr int SQL_BIND_DATA_POINTER_0 = -2080;
    static constexpr int SQL_SELECT_DATA_POINTER_0 = -2081;
    static constexpr int MAX_ROWS_ENABLED_EXCEED = -3000;
    static constexpr int LOGBOOK_MAIN_LIST_EMPTY = -3001;
    static constexpr int MAX_ROWS_EXCEED = -3002;
    static constexpr int TABLE_EMPTY = -3003;

    // The code's name, or the code in decimal when it has none ("-5").
    static QString name(int code);
    // "_A" for 1 up to "_X" for 24, empty otherwise; used in translation keys.
    static QString letterSuffix(int n);
};

#endif // CREPLYCODE_H
