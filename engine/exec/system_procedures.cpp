#include "engine/exec/system_procedures.h"

#include "base/ascii.h"
#include "engine/bind/object_id.h"

namespace morvesk::engine::exec {
namespace {

// The objects and columns of the database and of the session's tempdb in one list each:
// the procedures accept a #temp table's name as the server's do when called in tempdb.
#define MORVESK_ALL_OBJECTS                                                       \
  "(select name, object_id, type, create_date, 0 as in_tempdb from sys.objects\n" \
  "  union all select name, object_id, type, create_date, 1 from tempdb.sys.objects) as o\n"
#define MORVESK_ALL_COLUMNS                                                                        \
  "(select object_id, name, column_id, user_type_id, max_length, [precision], scale,\n"            \
  "    collation_name, is_nullable, is_identity from sys.columns\n"                                \
  "  union all select object_id, name, column_id, user_type_id, max_length, [precision], scale,\n" \
  "    collation_name, is_nullable, is_identity from tempdb.sys.columns) as c\n"

#define MORVESK_ALL_PARAMETERS                                                            \
  "(select object_id, name, parameter_id, user_type_id, max_length, [precision], scale\n" \
  "  from sys.parameters union all select object_id, name, parameter_id, user_type_id,\n" \
  "  max_length, [precision], scale from tempdb.sys.parameters) as p"

// The last part of a qualified name, brackets taken off: "tempdb..[#x]" -> "#x".
#define MORVESK_BARE_NAME                                      \
  "set @name = replace(replace(@objname, '[', ''), ']', '')\n" \
  "while charindex('.', @name) > 0\n"                          \
  "  set @name = substring(@name, charindex('.', @name) + 1, 776)\n"

#define MORVESK_MISSING_OBJECT                 \
  "if @id is null\n"                           \
  "begin\n"                                    \
  "  set @db = db_name()\n"                    \
  "  raiserror(15009, 16, 1, @objname, @db)\n" \
  "  return 1\n"                               \
  "end\n"

constexpr const char* kSpHelp =
    "create procedure sp_help @objname nvarchar(776) = null\n"
    "as\n"
    "set nocount on\n"
    "declare @name nvarchar(776), @id int, @type char(2), @db nvarchar(128)\n"
    "if @objname is null\n"
    "begin\n"
    "  select Name = o.name, Owner = convert(nvarchar(128), N'dbo'),\n"
    "    Object_type = convert(nvarchar(31), case o.type when 'U' then 'user table'\n"
    "      when 'V' then 'view' else 'stored procedure' end)\n"
    "  from sys.objects as o\n"
    "  order by Object_type desc, Name\n"
    "  select User_type = t.name, Storage_type = t.name, Length = t.max_length,\n"
    "    Prec = convert(int, t.[precision]), Scale = convert(int, t.scale),\n"
    "    Nullable = convert(varchar(35), 'yes'), Default_name = t.name, Rule_name = t.name,\n"
    "    Collation = t.collation_name\n"
    "  from sys.types as t where t.is_user_defined = 1\n"
    "  return 0\n"
    "end\n" MORVESK_BARE_NAME "select @id = o.object_id, @type = o.type from " MORVESK_ALL_OBJECTS
    "where o.name = @name\n" MORVESK_MISSING_OBJECT
    "select Name = o.name, Owner = convert(nvarchar(128), N'dbo'),\n"
    "  [Type] = convert(nvarchar(31), case o.type when 'U' then 'user table'\n"
    "    when 'V' then 'view' else 'stored procedure' end),\n"
    "  Created_datetime = o.create_date\n"
    "from " MORVESK_ALL_OBJECTS
    "where o.object_id = @id\n"
    "if @type = 'P'\n"
    "begin\n"
    "  if exists (select 1 from " MORVESK_ALL_PARAMETERS
    " where p.object_id = @id)\n"
    "    select Parameter_name = p.name, [Type] = t.name, Length = convert(int, "
    "p.max_length),\n"
    "      Prec = convert(int, case when p.[precision] > 0 then p.[precision]\n"
    "        when t.name in ('nchar', 'nvarchar', 'ntext') and p.max_length > 0\n"
    "          then p.max_length / 2\n"
    "        else p.max_length end),\n"
    "      Scale = convert(int, case when p.[precision] > 0 then p.scale end),\n"
    "      Param_order = p.parameter_id,\n"
    "      Collation = case when t.collation_name is null then null\n"
    "        else convert(nvarchar(128), 'SQL_Latin1_General_CP1_CI_AS') end\n"
    "    from " MORVESK_ALL_PARAMETERS
    " join sys.types as t on t.user_type_id = "
    "p.user_type_id\n"
    "    where p.object_id = @id\n"
    "    order by p.parameter_id\n"
    "  return 0\n"
    "end\n"
    "select Column_name = c.name, [Type] = t.name, Computed = convert(varchar(35), "
    "'no'),\n"
    "  Length = convert(int, c.max_length),\n"
    "  Prec = case when c.user_type_id in (48, 52, 56, 59, 60, 62, 104, 106, 122, "
    "127)\n"
    "    then convert(char(5), c.[precision]) else '     ' end,\n"
    "  Scale = case when c.user_type_id in (48, 52, 56, 60, 104, 106, 122, 127)\n"
    "    then convert(char(5), c.scale) else '     ' end,\n"
    "  Nullable = convert(varchar(35), case c.is_nullable when 1 then 'yes' else "
    "'no' end),\n"
    "  TrimTrailingBlanks = convert(varchar(35), case when c.user_type_id in (165, "
    "167, 175)\n"
    "    then 'no' else '(n/a)' end),\n"
    "  FixedLenNullInSource = convert(varchar(35), case\n"
    "    when c.user_type_id not in (165, 167, 175) then '(n/a)'\n"
    "    when c.is_nullable = 1 then 'yes' else 'no' end),\n"
    "  Collation = c.collation_name\n"
    "from " MORVESK_ALL_COLUMNS
    "  join sys.types as t on t.user_type_id = c.user_type_id\n"
    "where c.object_id = @id\n"
    "order by c.column_id\n"
    "if exists (select 1 from " MORVESK_ALL_COLUMNS
    "where c.object_id = @id and c.is_identity = 1)\n"
    "  select [Identity] = i.name, Seed = convert(numeric(38, 0), i.seed_value),\n"
    "    Increment = convert(numeric(38, 0), i.increment_value),\n"
    "    [Not For Replication] = convert(int, i.is_not_for_replication)\n"
    "  from (select object_id, name, seed_value, increment_value, "
    "is_not_for_replication\n"
    "      from sys.identity_columns\n"
    "    union all select object_id, name, seed_value, increment_value, "
    "is_not_for_replication\n"
    "      from tempdb.sys.identity_columns) as i\n"
    "  where i.object_id = @id\n"
    "else\n"
    "  select [Identity] = convert(nvarchar(128), 'No identity column defined.'),\n"
    "    Seed = convert(numeric(38, 0), null), Increment = convert(numeric(38, 0), "
    "null),\n"
    "    [Not For Replication] = convert(int, null)\n"
    "select [RowGuidCol] = convert(nvarchar(128), 'No rowguidcol column "
    "defined.')\n"
    "if @type = 'U'\n"
    "  select Data_located_on_filegroup = convert(nvarchar(128), 'PRIMARY')\n"
    "return 0\n";

// One row per line of the stored text, line ends taken off; a line longer than the
// column goes on over the next rows, as the server splits it.
constexpr const char* kSpHelpText =
    "create procedure sp_helptext @objname nvarchar(776), @columnname nvarchar(128) = null\n"
    "as\n"
    "set nocount on\n"
    "declare @name nvarchar(776), @id int, @db nvarchar(128), @def nvarchar(max)\n"
    "declare @at int, @end int, @nl int, @line nvarchar(max)\n" MORVESK_BARE_NAME
    "select @id = o.object_id from " MORVESK_ALL_OBJECTS
    "where o.name = @name\n" MORVESK_MISSING_OBJECT
    "select @def = m.definition from (select object_id, definition from sys.sql_modules\n"
    "  union all select object_id, definition from tempdb.sys.sql_modules) as m\n"
    "where m.object_id = @id\n"
    "if @def is null\n"
    "begin\n"
    "  raiserror(15197, 16, 1, @objname)\n"
    "  return 1\n"
    "end\n"
    "create table #helptext (n int identity(1, 1) not null, [Text] nvarchar(255) "
    "null)\n"
    "set @end = len(@def + N'x') - 1\n"
    "set @at = 1\n"
    "while @at <= @end\n"
    "begin\n"
    "  set @nl = charindex(char(10), @def, @at)\n"
    "  if @nl = 0 set @nl = @end + 1\n"
    "  set @line = substring(@def, @at, @nl - @at)\n"
    "  if right(@line, 1) = char(13) set @line = substring(@line, 1, len(@line + "
    "N'x') - 2)\n"
    "  insert into #helptext ([Text]) values (substring(@line, 1, 255))\n"
    "  while len(@line + N'x') - 1 > 255\n"
    "  begin\n"
    "    set @line = substring(@line, 256, len(@line + N'x'))\n"
    "    insert into #helptext ([Text]) values (substring(@line, 1, 255))\n"
    "  end\n"
    "  set @at = @nl + 1\n"
    "end\n"
    "select [Text] from #helptext order by n\n"
    "return 0\n";

// The server lists its own catalog views here too; this one lists the database's tables
// and views.
constexpr const char* kSpTables =
    "create procedure sp_tables @table_name nvarchar(384) = null,\n"
    "  @table_owner nvarchar(384) = null, @table_qualifier nvarchar(128) = null,\n"
    "  @table_type varchar(100) = null, @fUsePattern bit = 1\n"
    "as\n"
    "set nocount on\n"
    "select TABLE_QUALIFIER = convert(nvarchar(128), t.TABLE_CATALOG),\n"
    "  TABLE_OWNER = convert(nvarchar(128), t.TABLE_SCHEMA),\n"
    "  TABLE_NAME = convert(nvarchar(128), t.TABLE_NAME),\n"
    "  TABLE_TYPE = convert(varchar(32), case t.TABLE_TYPE when 'VIEW' then 'VIEW'\n"
    "    else 'TABLE' end),\n"
    "  REMARKS = convert(varchar(254), null)\n"
    "from INFORMATION_SCHEMA.TABLES as t\n"
    "where (@table_name is null or (@fUsePattern = 1 and t.TABLE_NAME like @table_name)\n"
    "    or (@fUsePattern = 0 and t.TABLE_NAME = @table_name))\n"
    "  and (@table_owner is null or (@fUsePattern = 1 and t.TABLE_SCHEMA like @table_owner)\n"
    "    or (@fUsePattern = 0 and t.TABLE_SCHEMA = @table_owner))\n"
    "  and (@table_qualifier is null or t.TABLE_CATALOG = @table_qualifier)\n"
    "  and (@table_type is null or charindex('''' + case t.TABLE_TYPE when 'VIEW'\n"
    "    then 'VIEW' else 'TABLE' end + '''', @table_type) > 0)\n"
    "order by TABLE_TYPE, TABLE_QUALIFIER, TABLE_OWNER, TABLE_NAME\n"
    "return 0\n";

// ODBC's description of each column (SQLColumns), as the server gives it with ODBC 2
// codes. SS_DATA_TYPE, the server's wire type code, has no meaning here and is NULL.
constexpr const char* kSpColumns =
    "create procedure sp_columns @table_name nvarchar(384), @table_owner nvarchar(384) = null,\n"
    "  @table_qualifier nvarchar(128) = null, @column_name nvarchar(384) = null,\n"
    "  @ODBCVer int = 2\n"
    "as\n"
    "set nocount on\n"
    "select TABLE_QUALIFIER = convert(nvarchar(128), i.TABLE_CATALOG),\n"
    "  TABLE_OWNER = convert(nvarchar(128), i.TABLE_SCHEMA),\n"
    "  TABLE_NAME = convert(nvarchar(128), i.TABLE_NAME),\n"
    "  COLUMN_NAME = convert(nvarchar(128), i.COLUMN_NAME),\n"
    "  DATA_TYPE = convert(smallint, case i.DATA_TYPE when 'char' then 1 when 'varchar' then 12\n"
    "    when 'nchar' then -8 when 'nvarchar' then -9 when 'text' then -1 when 'ntext' then -10\n"
    "    when 'bit' then -7 when 'tinyint' then -6 when 'smallint' then 5 when 'int' then 4\n"
    "    when 'bigint' then -5 when 'real' then 7 when 'float' then 6\n"
    "    when 'datetime' then 11 when 'smalldatetime' then 11 when 'uniqueidentifier' then -11\n"
    "    when 'varbinary' then -3 when 'sql_variant' then -150 else 3 end),\n"
    "  TYPE_NAME = convert(nvarchar(128), i.DATA_TYPE\n"
    "    + case when c.is_identity = 1 then ' identity' else '' end),\n"
    "  [PRECISION] = convert(int, case\n"
    "    when i.CHARACTER_MAXIMUM_LENGTH = -1 then 2147483647\n"
    "    when i.CHARACTER_MAXIMUM_LENGTH is not null then i.CHARACTER_MAXIMUM_LENGTH\n"
    "    when i.DATA_TYPE = 'float' then 15 when i.DATA_TYPE = 'real' then 7\n"
    "    when i.NUMERIC_PRECISION is not null then i.NUMERIC_PRECISION\n"
    "    when i.DATA_TYPE = 'datetime' then 23 when i.DATA_TYPE = 'smalldatetime' then 16\n"
    "    when i.DATA_TYPE = 'uniqueidentifier' then 36 else c.max_length end),\n"
    "  [LENGTH] = convert(int, case\n"
    "    when i.CHARACTER_OCTET_LENGTH = -1 then 2147483647\n"
    "    when i.CHARACTER_OCTET_LENGTH is not null then i.CHARACTER_OCTET_LENGTH\n"
    "    when i.DATA_TYPE = 'decimal' then i.NUMERIC_PRECISION + 2\n"
    "    when i.DATA_TYPE = 'money' then 21 when i.DATA_TYPE = 'smallmoney' then 12\n"
    "    when i.DATA_TYPE in ('datetime', 'smalldatetime') then 16 else c.max_length end),\n"
    "  SCALE = convert(smallint, case when i.DATA_TYPE = 'datetime' then 3\n"
    "    when i.DATA_TYPE = 'smalldatetime' then 0 else i.NUMERIC_SCALE end),\n"
    "  RADIX = convert(smallint, case when i.NUMERIC_PRECISION is not null then 10 end),\n"
    "  NULLABLE = convert(smallint, case i.IS_NULLABLE when 'YES' then 1 else 0 end),\n"
    "  REMARKS = convert(varchar(254), null),\n"
    "  COLUMN_DEF = i.COLUMN_DEFAULT,\n"
    "  SQL_DATA_TYPE = convert(smallint, case when i.DATA_TYPE in ('datetime', 'smalldatetime')\n"
    "    then 9 when i.DATA_TYPE = 'char' then 1 when i.DATA_TYPE = 'varchar' then 12\n"
    "    when i.DATA_TYPE = 'nchar' then -8 when i.DATA_TYPE = 'nvarchar' then -9\n"
    "    when i.DATA_TYPE = 'text' then -1 when i.DATA_TYPE = 'ntext' then -10\n"
    "    when i.DATA_TYPE = 'bit' then -7 when i.DATA_TYPE = 'tinyint' then -6\n"
    "    when i.DATA_TYPE = 'smallint' then 5 when i.DATA_TYPE = 'int' then 4\n"
    "    when i.DATA_TYPE = 'bigint' then -5 when i.DATA_TYPE = 'real' then 7\n"
    "    when i.DATA_TYPE = 'float' then 6 when i.DATA_TYPE = 'uniqueidentifier' then -11\n"
    "    when i.DATA_TYPE = 'varbinary' then -3 when i.DATA_TYPE = 'sql_variant' then -150\n"
    "    else 3 end),\n"
    "  SQL_DATETIME_SUB = convert(smallint, case when i.DATA_TYPE in ('datetime',\n"
    "    'smalldatetime') then 3 end),\n"
    "  CHAR_OCTET_LENGTH = case when i.CHARACTER_OCTET_LENGTH = -1 then 2147483647\n"
    "    else i.CHARACTER_OCTET_LENGTH end,\n"
    "  ORDINAL_POSITION = i.ORDINAL_POSITION,\n"
    "  IS_NULLABLE = convert(varchar(254), i.IS_NULLABLE),\n"
    "  SS_DATA_TYPE = convert(tinyint, null)\n"
    "from " MORVESK_ALL_OBJECTS
    "  join (select * from INFORMATION_SCHEMA.COLUMNS\n"
    "    union all select * from tempdb.INFORMATION_SCHEMA.COLUMNS) as i\n"
    "    on i.TABLE_NAME = o.name\n"
    "  join " MORVESK_ALL_COLUMNS
    "    on c.object_id = o.object_id and c.column_id = i.ORDINAL_POSITION\n"
    "where o.type in ('U', 'V') and o.name like @table_name\n"
    "  and (@table_owner is null or 'dbo' like @table_owner)\n"
    "  and (@table_qualifier is null or i.TABLE_CATALOG = @table_qualifier)\n"
    "  and (@column_name is null or i.COLUMN_NAME like @column_name)\n"
    "order by TABLE_QUALIFIER, TABLE_OWNER, TABLE_NAME, ORDINAL_POSITION\n"
    "return 0\n";

#undef MORVESK_ALL_OBJECTS
#undef MORVESK_ALL_COLUMNS
#undef MORVESK_ALL_PARAMETERS
#undef MORVESK_BARE_NAME
#undef MORVESK_MISSING_OBJECT

struct SystemProcedure {
  const char* name;
  const char* text;
};

constexpr SystemProcedure kProcedures[] = {
    {"sp_help", kSpHelp},
    {"sp_helptext", kSpHelpText},
    {"sp_tables", kSpTables},
    {"sp_columns", kSpColumns},
};

}  // namespace

std::optional<std::pair<std::string, std::string>> SystemProcedureSource(std::string_view name) {
  const std::string bare = base::AsciiLower(BareObjectName(name));
  for (const SystemProcedure& p : kProcedures) {
    if (bare == p.name) return std::make_pair(std::string(p.name), std::string(p.text));
  }
  return std::nullopt;
}

std::optional<std::string> SystemMessageText(int number) {
  switch (number) {
    case 15009:
      return "The object '%s' does not exist in database '%s' or is invalid for this operation.";
    case 15197:
      return "There is no text for object '%s'.";
    default:
      return std::nullopt;
  }
}

}  // namespace morvesk::engine::exec
