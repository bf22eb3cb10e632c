"""Drives `morvesk serve` through the FreeTDS ODBC driver, as a client program would:
through pyodbc, and through the ODBC API itself (ctypes) where pyodbc has no way in
(output parameters of a procedure call). Each command prints what the server answered in
a plain text form the calling test compares with the engine's own answer:
one line per row, fields separated by '|', NULL as NULL, decimals with all their scale
digits, datetimes as 'yyyy-mm-dd hh:mi:ss.mmm'.

usage: clients.py COMMAND CONNECTION-STRING [ARGS...]
"""
import ctypes
import datetime
import decimal
import os
import sys
import threading
import time

import pyodbc


def text_of(v):
    if v is None:
        return "NULL"
    if isinstance(v, decimal.Decimal):
        return format(v, "f")
    if isinstance(v, datetime.datetime):
        return v.strftime("%Y-%m-%d %H:%M:%S.%f")[:-3]
    if isinstance(v, bool):
        return "1" if v else "0"
    return str(v)


def print_rows(cursor):
    while True:
        if cursor.description:
            for row in cursor.fetchall():
                print("|".join(text_of(v) for v in row))
        if not cursor.nextset():
            break


def cmd_query(cs, sql):
    with pyodbc.connect(cs, autocommit=True) as c:
        print_rows(c.cursor().execute(sql))


def cmd_params(cs, table):
    """Values of every kind sent as parameters, stored, and read back."""
    values = [
        7, -2147483648, 9223372036854775807,
        decimal.Decimal("12345678901234567.1234567890"), decimal.Decimal("-0.0000000001"),
        datetime.datetime(2024, 2, 29, 13, 45, 10, 123000), "钢板 T恤 螺丝", "", None,
        1.5,
    ]
    print("|".join(text_of(v) for v in values))
    print("|".join(text_of(values[i]) for i in (0, 3, 5, 6)))
    with pyodbc.connect(cs, autocommit=True) as c:
        cur = c.cursor()
        cur.execute("SELECT " + ", ".join("?" for _ in values), *values)
        print("|".join(text_of(v) for v in cur.fetchone()))
        cur.execute("INSERT INTO " + table + " (FID, FAmount, FDate, FNote) VALUES (?, ?, ?, ?)",
                    values[0], values[3], values[5], values[6])
        print("inserted", cur.rowcount)
        cur.execute("SELECT FID, FAmount, FDate, FNote FROM " + table + " WHERE FNote = ?", values[6])
        print_rows(cur)


class Odbc:
    """The few ODBC calls needed to bind an output parameter, which pyodbc cannot."""

    def __init__(self, cs):
        self.lib = ctypes.CDLL("libodbc.so.2")
        L = self.lib
        L.SQLBindParameter.argtypes = [ctypes.c_void_p, ctypes.c_ushort, ctypes.c_short,
                                       ctypes.c_short, ctypes.c_short, ctypes.c_ulong,
                                       ctypes.c_short, ctypes.c_void_p, ctypes.c_long,
                                       ctypes.POINTER(ctypes.c_long)]
        L.SQLDriverConnect.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p,
                                       ctypes.c_short, ctypes.c_void_p, ctypes.c_short,
                                       ctypes.c_void_p, ctypes.c_ushort]
        L.SQLSetEnvAttr.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
        L.SQLAllocHandle.argtypes = [ctypes.c_short, ctypes.c_void_p, ctypes.c_void_p]
        L.SQLPrepare.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        L.SQLExecute.argtypes = [ctypes.c_void_p]
        L.SQLMoreResults.argtypes = [ctypes.c_void_p]
        L.SQLGetDiagRec.argtypes = [ctypes.c_short, ctypes.c_void_p, ctypes.c_short,
                                    ctypes.c_char_p, ctypes.POINTER(ctypes.c_int),
                                    ctypes.c_char_p, ctypes.c_short,
                                    ctypes.POINTER(ctypes.c_short)]
        self.env, self.dbc, self.stmt = ctypes.c_void_p(), ctypes.c_void_p(), ctypes.c_void_p()
        self.check(L.SQLAllocHandle(1, None, ctypes.byref(self.env)), 1, self.env)
        self.check(L.SQLSetEnvAttr(self.env, 200, ctypes.c_void_p(3), 0), 1, self.env)
        self.check(L.SQLAllocHandle(2, self.env, ctypes.byref(self.dbc)), 1, self.env)
        self.check(L.SQLDriverConnect(self.dbc, None, cs.encode(), -3, None, 0, None, 0), 2, self.dbc)
        self.check(L.SQLAllocHandle(3, self.dbc, ctypes.byref(self.stmt)), 2, self.dbc)

    def check(self, rc, kind, handle):
        if rc in (0, 1, 100):  # 100: done, no result set (a call that returns none)
            return
        state, native = ctypes.create_string_buffer(6), ctypes.c_int()
        msg, n = ctypes.create_string_buffer(1024), ctypes.c_short()
        self.lib.SQLGetDiagRec(kind, handle, 1, state, ctypes.byref(native), msg, 1024, ctypes.byref(n))
        raise RuntimeError("ODBC %d: %s %d %s" % (rc, state.value.decode(), native.value,
                                                  msg.value.decode(errors="replace")))


def cmd_outparam(cs, table_name):
    """{? = CALL GetICMaxNum(?, ?)}: the return status and the output id."""
    o = Odbc(cs)
    L = o.lib
    status, status_ind = ctypes.c_int(-99), ctypes.c_long(0)
    name = ctypes.create_string_buffer(table_name.encode())
    name_ind = ctypes.c_long(len(table_name.encode()))
    out, out_ind = ctypes.c_int(0), ctypes.c_long(0)
    o.check(L.SQLPrepare(o.stmt, b"{? = CALL GetICMaxNum(?, ?)}", -3), 3, o.stmt)
    # (stmt, number, direction, C type, SQL type, size, digits, buffer, buffer length, indicator)
    o.check(L.SQLBindParameter(o.stmt, 1, 4, -16, 4, 0, 0, ctypes.addressof(status), 0,
                               ctypes.byref(status_ind)), 3, o.stmt)
    o.check(L.SQLBindParameter(o.stmt, 2, 1, 1, 12, 50, 0, ctypes.addressof(name), len(name),
                               ctypes.byref(name_ind)), 3, o.stmt)
    o.check(L.SQLBindParameter(o.stmt, 3, 2, -16, 4, 0, 0, ctypes.addressof(out), 0,
                               ctypes.byref(out_ind)), 3, o.stmt)
    for _ in range(2):
        o.check(L.SQLExecute(o.stmt), 3, o.stmt)
        while L.SQLMoreResults(o.stmt) in (0, 1):
            pass
        print("status %d id %d" % (status.value, out.value))


def cmd_batch_output(cs, table_name):
    """The same through a T-SQL batch, as a client without output binding calls it."""
    with pyodbc.connect(cs, autocommit=True) as c:
        cur = c.cursor()
        cur.execute("DECLARE @n int, @r int; EXEC @r = GetICMaxNum ?, @n OUTPUT; SELECT @r, @n",
                    table_name)
        print_rows(cur)


def cmd_errors(cs, *batches):
    """Each batch's error as the driver reports it: native number and message."""
    with pyodbc.connect(cs, autocommit=True) as c:
        for sql in batches:
            try:
                print_rows(c.cursor().execute(sql))
                print("no error")
            except pyodbc.Error as e:
                print(e.args[1])


def cmd_vanish(cs, sql):
    """Runs `sql` inside a transaction and disappears without committing."""
    c = pyodbc.connect(cs, autocommit=False)
    c.cursor().execute(sql)
    print("written, leaving", flush=True)
    os._exit(0)


def cmd_unit_of_work(cs, table, fid):
    """A rollback undoes, a commit keeps: each through the driver's transaction calls."""
    with pyodbc.connect(cs, autocommit=False) as c:
        cur = c.cursor()
        cur.execute("INSERT INTO " + table + " (FID, FNote) VALUES (?, 'rolled back')", int(fid))
        c.rollback()
        cur.execute("INSERT INTO " + table + " (FID, FNote) VALUES (?, 'kept')", int(fid) + 1)
        c.commit()
        cur.execute("SELECT FID, FNote FROM " + table + " WHERE FID >= ? ORDER BY FID", int(fid))
        print_rows(cur)
        c.commit()


def cmd_writers(cs, clients, seconds, table):
    """`clients` connections at once, for `seconds`, each adding rows and bumping a
    counter in one transaction per round; prints how many rounds each one committed."""
    clients, seconds = int(clients), float(seconds)
    committed = [0] * clients
    failures = []

    def work(k):
        try:
            with pyodbc.connect(cs, autocommit=False) as c:
                cur = c.cursor()
                end = time.time() + seconds
                n = 0
                while time.time() < end:
                    n += 1
                    cur.execute("UPDATE t_ICMaxNum SET FMaxNum = FMaxNum + 1 WHERE FTableName = ?",
                                table)
                    cur.execute("INSERT INTO " + table + " (FID, FNote) VALUES (?, ?)",
                                k * 1000000 + n, "writer %d" % k)
                    cur.execute("SELECT COUNT(*) FROM " + table)
                    cur.fetchall()
                    c.commit()
                    committed[k] += 1
        except Exception as e:  # reported, and the test fails on it
            failures.append("client %d: %s" % (k, e))

    threads = [threading.Thread(target=work, args=(k,)) for k in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for f in failures:
        print(f)
    print("committed %d" % sum(committed))
    print("clients with commits %d" % sum(1 for n in committed if n > 0))


def cmd_cancel(cs, table):
    """A batch that would run for ever, cancelled from another thread after it began; the
    connection then goes on with the next batch."""
    with pyodbc.connect(cs, autocommit=True) as c:
        cur = c.cursor()
        timer = threading.Timer(0.5, cur.cancel)
        timer.start()
        try:
            cur.execute("INSERT INTO " + table + " (FID, FNote) VALUES (1, N'before the loop'); "
                        "DECLARE @i int = 0; WHILE 1 = 1 SET @i = @i + 1")
            print("ran to the end")
        except pyodbc.Error as e:
            print("cancelled", e.args[0])
        timer.join()
        cur.execute("SELECT FID, FNote FROM " + table)
        print_rows(cur)


COMMANDS = {
    "cancel": cmd_cancel,
    "query": cmd_query,
    "params": cmd_params,
    "outparam": cmd_outparam,
    "batch-output": cmd_batch_output,
    "errors": cmd_errors,
    "vanish": cmd_vanish,
    "unit-of-work": cmd_unit_of_work,
    "writers": cmd_writers,
}

if __name__ == "__main__":
    COMMANDS[sys.argv[1]](*sys.argv[2:])
